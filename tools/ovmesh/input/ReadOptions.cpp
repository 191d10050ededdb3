#include "ovmesh/input/ReadOptions.h"

#include <algorithm>

#include "core/SceneWalk.h"
#include "ovmesh/Paths.h"
#include "ovmesh/ToolError.h"

namespace ov::ovmesh {

namespace fs = std::filesystem;

namespace {

// The path with every link resolved, as far as it exists.
fs::path resolved(const fs::path& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    const fs::path canonical = fs::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal() : canonical;
}

fs::path root(const fs::path& folder) {
    return folder.empty() ? fs::path(".") : folder;
}

}  // namespace

Confinement::Confinement(const fs::path& folder, bool confine) {
    if (confine) {
        mRoot = resolved(root(folder));
    }
}

bool Confinement::admits(const fs::path& file) const {
    if (!mRoot) {
        return true;
    }
    const fs::path at = resolved(file);
    const auto [rootEnd, atEnd] = std::mismatch(mRoot->begin(), mRoot->end(), at.begin(), at.end());
    // A root that ends in a separator gives an empty last element.
    return rootEnd == mRoot->end() || (std::next(rootEnd) == mRoot->end() && rootEnd->empty());
}

void Confinement::require(const fs::path& file, const std::string& named, const std::string& source) const {
    if (!admits(file)) {
        throw ToolError("cannot read '" + source + "': it names '" + named + "' (" +
                        utf8Path(resolved(file)) + "), outside its folder " + utf8Path(*mRoot) +
                        ", and --confine keeps reads inside it");
    }
}

void requireConfinedReferences(const ovSpatial& scene, const Confinement& confinement,
                               const std::string& source) {
    const fs::path folder = root(fsPath(source).parent_path());
    walkScene(scene, nullptr, [&](const WalkStep<const ovSpatial>& step) {
        if (step.object.IsDerived(ovXRefNode::TYPE)) {
            std::string named = static_cast<const ovXRefNode&>(step.object).getUtf8FilePath();
            std::replace(named.begin(), named.end(), '\\', '/');
            confinement.require(folder / fsPath(named), named, source);
        }
    });
}

}  // namespace ov::ovmesh
