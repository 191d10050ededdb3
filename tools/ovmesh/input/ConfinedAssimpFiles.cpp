#include "ovmesh/input/ConfinedAssimpFiles.h"

#include "ovmesh/Paths.h"

namespace ov::ovmesh {

Assimp::IOStream* ConfinedAssimpFiles::Open(const char* file, const char* mode) {
    if (!mConfinement.admits(fsPath(file))) {
        if (mRefused.empty()) {
            mRefused = file;
        }
        return nullptr;
    }
    return DefaultIOSystem::Open(file, mode);
}

}  // namespace ov::ovmesh
