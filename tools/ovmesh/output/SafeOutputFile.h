#pragma once

#include <string>

namespace ov::ovmesh {

// Writes a file without ever leaving a partial one at the target: the data
// goes to a hidden temporary file beside the target, which takes the target's
// place only on commit and is removed otherwise. The temporary file ends in
// the target's extension, because drivers are chosen by the path's extension.
class SafeOutputFile {
public:
    // Creates the temporary file; ToolError when the target's folder does not
    // exist or cannot be written, or when the target is a folder.
    explicit SafeOutputFile(std::string target);
    ~SafeOutputFile();
    SafeOutputFile(const SafeOutputFile&) = delete;
    SafeOutputFile& operator=(const SafeOutputFile&) = delete;

    const std::string& target() const { return mTarget; }
    const std::string& temporaryPath() const { return mTemporary; }
    // Moves the temporary file onto the target (replacing it); ToolError when
    // that fails, in which case the temporary file is removed.
    void commit();

private:
    std::string mTarget;
    std::string mTemporary;
    bool mCommitted = false;
};

}  // namespace ov::ovmesh
