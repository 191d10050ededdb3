#include "assimp/ConfinedAssimpFiles.h"

#include <filesystem>

#include "core/InputFiles.h"
#include "system/ovFiles.h"

namespace ov::assimpimport {

namespace {

std::string spelledAsFound(const char* file) {
    std::error_code error;
    const std::string decoded = percentDecoded(file);
    return !std::filesystem::exists(pathOfUtf8(file), error) &&
                   std::filesystem::exists(pathOfUtf8(decoded), error)
               ? decoded
               : std::string(file);
}

}  // namespace

Assimp::IOStream* ConfinedAssimpFiles::Open(const char* file, const char* mode) {
    const std::string found = spelledAsFound(file);
    if (!mConfinement.admits(pathOfUtf8(found))) {
        if (mRefused.empty()) {
            mRefused = found;
        }
        return nullptr;
    }
    return DefaultIOSystem::Open(found.c_str(), mode);
}

bool ConfinedAssimpFiles::Exists(const char* file) const {
    return DefaultIOSystem::Exists(spelledAsFound(file).c_str());
}

}  // namespace ov::assimpimport
