#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "core/InputFiles.h"
#include "system/ovIoDevice.h"
#include "system/ovProgressNotifier.h"

namespace ov::obj {

using ObjImport = ImportedScene;

// Reads a Wavefront OBJ file into a scene: a root node named after the file,
// one child node per object or group (in order of appearance) holding one
// triangle mesh per material the group's faces use and one polyline per
// material its "l" elements use. Coordinates are taken as they stand; normals
// and texture coordinates are kept where every corner of a mesh has them.
// Material states carry the colours of the material library and texture
// states its images; a missing library, material or image leaves it out and
// adds a warning. The text may be UTF-8 (with or without its mark) or UTF-16.
// Progress follows the bytes read. ReadError for a file that cannot be read
// or holds bad data, and for a file it names that options confine the read
// away from. Texture images are decoded within one PixelBudget.
ObjImport importObj(const std::string& path, ovProgressNotifierInterface* progress = nullptr,
                    const ImportSettings& options = {});

// The same for OBJ bytes read from a device in pieces, as a file is read (a
// stream such as the standard input): source names it in messages and gives
// the root its name; material libraries are looked for in materialFolder.
ObjImport importObjDevice(ovIoDevice& device, const std::string& source,
                          const std::filesystem::path& materialFolder, ovProgressNotifierInterface* progress,
                          const ImportSettings& options = {});

// The same for OBJ bytes already read.
ObjImport importObjText(std::string_view bytes, const std::string& source,
                        const std::filesystem::path& materialFolder, const ImportSettings& options = {});

}  // namespace ov::obj
