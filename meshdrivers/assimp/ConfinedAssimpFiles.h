#pragma once

#include <assimp/DefaultIOSystem.h>

#include <string>

#include "core/InputFiles.h"

namespace ov::assimpimport {

// assimp's own file system, through which an importer opens the model and
// every file the model names (buffers, images, included documents), with
// the files outside a confinement left unopened: the importer then fails,
// or goes on without them, and refused() names the first. A name with %XX
// escapes (glTF's URIs) that no file has as written opens decoded.
class ConfinedAssimpFiles : public Assimp::DefaultIOSystem {
public:
    explicit ConfinedAssimpFiles(Confinement confinement) : mConfinement(std::move(confinement)) {}

    Assimp::IOStream* Open(const char* file, const char* mode) override;
    bool Exists(const char* file) const override;
    const std::string& refused() const { return mRefused; }

private:
    Confinement mConfinement;
    std::string mRefused;
};

}  // namespace ov::assimpimport
