#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "scenegraph/ovSpatial.h"

namespace ov::ovmesh {

// What one read of an input may do besides reading the input itself.
struct ReadOptions {
    // Texture images are decoded; off when the output holds none.
    bool textures = true;
    // Every file the input names (material libraries, texture images,
    // buffers, part files) must lie in the input's folder or below it, links
    // resolved: for services that convert uploads.
    bool confine = false;
};

// The folder tree the files an input names must stay in, when its read is
// confined; otherwise any file may be named.
class Confinement {
public:
    // folder is the input's; unconfined unless confine.
    Confinement(const std::filesystem::path& folder, bool confine);

    bool admits(const std::filesystem::path& file) const;
    // ToolError naming source when file, which the input names as named,
    // lies outside.
    void require(const std::filesystem::path& file, const std::string& named,
                 const std::string& source) const;

private:
    std::optional<std::filesystem::path> mRoot;
};

// ToolError naming source when a file reference of the scene (a part's file,
// relative to the input's folder or absolute) lies outside confinement.
void requireConfinedReferences(const ovSpatial& scene, const Confinement& confinement,
                               const std::string& source);

}  // namespace ov::ovmesh
