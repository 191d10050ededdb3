#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/FileNames.h"
#include "scenegraph/ovImage.h"
#include "system/ovFiles.h"

namespace ov {

// The files one save writes beside its document (PNG images, and any other
// file a driver stages), all in the document's folder. Each is written under
// a temporary name there and takes its own name only on commit, once the
// whole document is written; whatever was not committed is removed when the
// object goes. A failed or cancelled save thus leaves every file of the
// folder as it found it, an older file of the same name too.
class ImageFiles {
public:
    // driverName starts the log lines.
    ImageFiles(std::filesystem::path folder, std::string_view prefix, std::string driverName);
    ~ImageFiles();
    ImageFiles(const ImageFiles&) = delete;
    ImageFiles& operator=(const ImageFiles&) = delete;

    // The file name of an image id: the prefix, then the id with every
    // character outside [A-Za-z0-9._-] replaced by "_", then the extension;
    // never hidden, never a device name of Windows, and distinct (ignoring
    // case) from every other name of this save.
    std::string nameFor(std::string_view imageId, std::string_view extension = ".png");
    // Writes the image under a temporary name for fileName; false, with a log
    // line, when it cannot be written or a folder stands at fileName.
    bool write(const ovImage& image, const std::string& fileName, const SaveImageOptions& options = {});
    // Writes an image file's bytes as they stand, likewise.
    bool writeFile(std::string_view bytes, const std::string& fileName);
    // The temporary path a file of that name is to be written at, which
    // commit renames; empty, with a log line, when a folder stands at
    // fileName.
    std::filesystem::path stage(const std::string& fileName);
    // Gives every written file its name; false, with a log line, when one
    // cannot take it (those renamed before it keep theirs).
    bool commit();
    // UTF-8 paths of the committed files, in the order staged.
    std::vector<std::string> committedPaths() const;

private:
    std::filesystem::path mFolder;
    std::string mPrefix;
    std::string mDriverName;
    FileNameSet mNamesTaken;
    std::vector<std::unique_ptr<ovStagedFile>> mStaged;
    size_t mCommitted = 0;
};

// A file name as a relative URI reference of one path segment: every byte
// but the unreserved characters of RFC 3986 percent-encoded.
std::string uriPathSegment(std::string_view fileName);

}  // namespace ov
