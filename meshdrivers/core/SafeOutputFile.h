#pragma once

#include <memory>
#include <string>

#include "core/ovMeshDriversExport.h"
#include "system/ovFiles.h"

namespace ov {

// What a save does with a target that is a symbolic link. A file the user
// named is replaced where its links lead, as cp does; a name the program made
// up (a batch output, a part file) is replaced itself, link and all, so that
// a link planted there cannot send the file anywhere else.
enum class TargetLinks { Follow, Replace };

// ServiceError, naming target, when a save to it is bound to fail or to do
// harm: its name is not UTF-8 text (files hold it), its folder does not exist
// or may not be written, or it is a folder or a file the user may not write
// (see mayWrite). With Follow a symbolic link is judged by the file it leads
// to; with Replace only its folder counts.
OVMESHDRIVERS_API void requireWritableTarget(const std::string& target, TargetLinks links);

// The target's own name in the folder of the file a save to it replaces
// (where its links lead, with Follow). Files a document refers to by a
// relative name (its parts) are named after this, so that they stand beside
// the document actually written.
OVMESHDRIVERS_API std::string besideWrittenFile(const std::string& target, TargetLinks links);

// Writes a file without ever leaving a partial one at the target: the data
// goes to a hidden temporary file beside the target, which takes the target's
// place only on commit and is removed otherwise. The temporary file ends in
// the target's extension, because drivers are chosen by the path's extension.
// A target that is a symbolic link is replaced as links says; a file replaced
// keeps its permissions.
class OVMESHDRIVERS_API SafeOutputFile {
public:
    // Creates the temporary file; ServiceError when requireWritableTarget
    // refuses the target or the file cannot be created.
    SafeOutputFile(std::string target, TargetLinks links);
    ~SafeOutputFile();
    SafeOutputFile(const SafeOutputFile&) = delete;
    SafeOutputFile& operator=(const SafeOutputFile&) = delete;

    const std::string& target() const { return mTarget; }
    const std::string& temporaryPath() const { return mTemporary; }
    // Moves the temporary file onto the target (replacing it); ServiceError
    // when that fails, in which case the temporary file is removed.
    void commit();

private:
    std::string mTarget;
    std::string mTemporary;
    std::unique_ptr<ovStagedFile> mStaged;
};

// Removes what a save to target left behind when it could not clean up after
// itself (its process was killed): the temporary files beside the target.
OVMESHDRIVERS_API void removeTemporariesOf(const std::string& target);

}  // namespace ov
