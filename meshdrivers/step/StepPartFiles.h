#pragma once

// The STEP files that hold the parts of an assembly (its products' document
// files), read along with it.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/InputFiles.h"

namespace ov::step {

struct StepReadOptions;

// A part file's scene, read once, and how many objects a copy of it makes.
struct PartScene {
    ImportedScene scene;
    uint64_t objects = 0;
};

// The part files of one load, however deep: each is read once, however
// often it is used; one that leads back to a file being read, or lies
// deeper than a few levels, is refused.
class PartFileReads {
public:
    // top is the file the load began with: its folder is the one a
    // confined load's part files must lie in.
    PartFileReads(const std::string& top, bool confine);

    // The scene of the STEP file that the file source names as named
    // (relative to source's folder); null when named is no STEP file or no
    // such file exists, which a warning then says. ReadError when the file
    // lies outside the confinement, leads back, lies too deep, or cannot be
    // read.
    const PartScene* read(const std::string& named, const std::string& source, const StepReadOptions& options,
                          std::vector<std::string>& warnings);

private:
    Confinement mConfinement;
    std::map<std::filesystem::path, PartScene> mRead;
    // The files being read, the first one's own included, outermost first.
    std::vector<std::filesystem::path> mOpen;
};

}  // namespace ov::step
