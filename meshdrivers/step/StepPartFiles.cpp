#include "step/StepPartFiles.h"

#include <algorithm>

#include "core/SceneWalk.h"
#include "step/StepImport.h"
#include "system/ovFiles.h"
#include "system/ovStringUtils.h"

namespace ov::step {

namespace fs = std::filesystem;

namespace {

// Assemblies of assemblies go a few levels deep; more is a loop in disguise
// (files named by ever-different links) or a hostile set of files.
constexpr size_t kDeepestPartFile = 16;

bool namesStepFile(const std::string& named) {
    const std::string extension = ovDirUtils::ExtractFileExtension(named, true, 0);
    return extension == "stp" || extension == "step";
}

fs::path folderOf(const std::string& source) {
    const fs::path folder = pathOfUtf8(source).parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// The same file by whichever name or link it is reached.
fs::path identityOf(const fs::path& file) {
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(fs::absolute(file, error), error);
    return error ? file.lexically_normal() : canonical;
}

uint64_t objectCount(const ovSpatial& root) {
    uint64_t count = 0;
    walkScene(root, nullptr, [&count](const WalkStep<const ovSpatial>&) { ++count; });
    return count;
}

}  // namespace

PartFileReads::PartFileReads(const std::string& top, bool confine)
    : mConfinement(folderOf(top), confine), mOpen{identityOf(pathOfUtf8(top))} {}

const PartScene* PartFileReads::read(const std::string& named, const std::string& source,
                                     const StepReadOptions& options, std::vector<std::string>& warnings) {
    if (!namesStepFile(named)) {
        return nullptr;
    }
    const std::optional<fs::path> file = locateNamedFile(folderOf(source), named);
    if (!file) {
        warnings.push_back(source + ": the part file '" + named +
                           "' is not found: its product stays an external reference");
        return nullptr;
    }
    mConfinement.require(*file, named, source);
    const fs::path identity = identityOf(*file);
    if (std::find(mOpen.begin(), mOpen.end(), identity) != mOpen.end()) {
        throw ReadError(source + ": the part file '" + named + "' leads back to " + utf8OfPath(identity) +
                        ", which holds it");
    }
    if (const auto found = mRead.find(identity); found != mRead.end()) {
        return &found->second;
    }
    if (mOpen.size() > kDeepestPartFile) {
        throw ReadError(source + ": the part file '" + named + "' lies more than " +
                        std::to_string(kDeepestPartFile) + " part files deep");
    }
    mOpen.push_back(identity);
    StepReadOptions partOptions = options;
    partOptions.parts = this;
    PartScene part{importStep(utf8OfPath(*file), partOptions)};
    mOpen.pop_back();
    part.objects = objectCount(*part.scene.root);
    warnings.insert(warnings.end(), part.scene.warnings.begin(), part.scene.warnings.end());
    return &mRead.emplace(identity, std::move(part)).first->second;
}

}  // namespace ov::step
