#include "assimp/ConfinedAssimpFiles.h"

#include "core/InputFiles.h"
#include "system/ovFiles.h"

namespace ov::assimpimport {

Assimp::IOStream* ConfinedAssimpFiles::Open(const char* file, const char* mode) {
    if (!mConfinement.admits(pathOfUtf8(file))) {
        if (mRefused.empty()) {
            mRefused = file;
        }
        return nullptr;
    }
    return DefaultIOSystem::Open(file, mode);
}

}  // namespace ov::assimpimport
