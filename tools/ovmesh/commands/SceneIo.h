#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/SafeOutputFile.h"
#include "ovmesh/input/ReadOptions.h"
#include "ovmesh/output/DriverMessages.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovSpatial.h"
#include "system/ovIoDevice.h"

namespace ov::ovmesh {

// The extension that picks a file's driver: lower case, without the dot.
std::string extensionOf(const std::string& path);
// The format of an input: its extension, or from for the standard input.
std::string inputFormatOf(const std::string& input, const std::string& from);

// Extensions the registered drivers save, in registration order without
// repeats; the ones the tool loads, by whichever reader (see FormatTable).
std::vector<std::string> savableExtensions();
std::vector<std::string> loadableExtensions();

// ToolError naming the known extensions when no driver saves (loads) path.
void requireSaveDriver(const std::string& path);
void requireLoadableFormat(const std::string& path);

struct LoadedScene {
    ovPointer<ovSpatial> root;
    // What the driver said about a load that succeeded.
    std::vector<DriverMessage> messages;
};

// Reads a file through the driver of its extension (PLM XML for a .xml file
// whose document element is PLMXML), with the settings reading gives the
// readers of model files. Several loaded objects are gathered under one root
// node named after the file. ToolError when the file cannot be read or names
// a file that reading confines it away from, LoadFailure when the driver
// refused it: with the driver's own text when it names the file.
LoadedScene loadScene(const std::string& path, ovProgressNotifierInterface* progress,
                      const LoadMeshOptions& options = {}, const ReadOptions& reading = {});

// Whether a document of the format (an extension) is read whole before its
// driver is chosen, rather than handed to the driver as a stream.
bool isReadWhole(const std::string& format);

// Reads a document of the format (the extension it would have) from device
// (the standard input); head is what was read of it already, for a format
// read whole. source names it in messages and gives the root its name; files
// it names are looked for in the current folder. ToolError for a format
// whose driver reads only from a path.
LoadedScene loadSceneFromDevice(ovIoDevice& device, const std::string& head, const std::string& format,
                                const std::string& source, ovProgressNotifierInterface* progress,
                                const LoadMeshOptions& options = {}, const ReadOptions& reading = {});

// What a file of the format (an extension) keeps of a scene, as its save
// driver says: a line drawing, an assembly's structure (whose driver may keep
// the meshes too, see holdsGeometry) or geometry.
enum class FormatKind { Geometry, Drawing, Structure };
FormatKind formatKindOf(const std::string& extension);

// Whether a save of the format with these options keeps the scene's meshes.
bool holdsGeometry(const std::string& extension, const SaveMeshOptions& options);

struct WrittenFile {
    std::string path;
    uintmax_t size;
};

// Saves the scene to path through the driver manager, by way of a temporary
// file that replaces path only once everything is written. The driver works
// on a file device when it can, so that a short write is noticed, and on the
// path otherwise. A path that is a symbolic link is replaced as links says.
// The drivers' settings come with options. A COLLADA document's image files,
// and the files beside a .gltf document, are named after path's stem ("OUT-"
// before each), so that documents saved into one folder keep theirs apart. Answers the files written: path
// first, then the images; ToolError on any failure, a cancelled save included, leaving no file behind.
std::vector<WrittenFile> saveScene(ovSpatial& root, const std::string& path,
                                   ovProgressNotifierInterface* progress, SaveMeshOptions options,
                                   TargetLinks links = TargetLinks::Replace);

}  // namespace ov::ovmesh
