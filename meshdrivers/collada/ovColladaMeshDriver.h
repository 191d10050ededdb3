#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovCoreMeshDriver.h"

namespace ov {

// What a COLLADA save writes beyond the driver's fixed form, given in the
// save's options (SaveMeshOptions::drivers). The defaults give that form byte
// for byte; viewers show a model as it was only with the others (the tool's
// choice).
struct OVMESHDRIVERS_API ColladaSaveSettings : ovDriverSettings {
    ~ColladaSaveSettings() override;

    enum class UpAxis { Y, Z };
    // The axis the document says points up.
    UpAxis upAxis = UpAxis::Z;
    // "transparent" and "transparency" for a material whose alpha is below 1.
    bool transparency = false;
    // "phong" with "specular" (colour or map) and "shininess" for a material
    // with a specular colour or map, "lambert" otherwise. With this or
    // transparency, an effect's channels come in the schema's order.
    bool phong = false;
    // Polylines as geometries of "lines"; otherwise their nodes stay empty.
    bool polylines = false;
    // Vertex colours as a COLOR input (red, green, blue); otherwise left out
    // with a warning.
    bool vertexColours = false;
    // Significant digits of coordinates and matrices: 6, or 9, which gives
    // every float back exactly. Held within 1 to 9.
    int significantDigits = 6;
    // Put before the name of every image file (not before the ids), so that
    // documents saved into one folder, each with its own prefix, never share
    // an image file. Separators, control characters, bytes that are not UTF-8
    // and the characters Windows refuses in names become "_"; a prefix longer
    // than 64 bytes is cut. Empty by default: the names are then the image
    // ids alone.
    std::string imageFilePrefix;
};

// Saves one scene, given by its root spatial, as a COLLADA 1.4.1 document:
// asset, images (each also written as a PNG file beside the document),
// effects, materials, one geometry per distinct vertex/index buffer pair and a
// visual scene that mirrors the node tree. Saves to a path only.
//
// Image files are always created in the document's folder. Their names are
// the image ids with every character outside [A-Za-z0-9._-] replaced by "_"
// (see ColladaSaveSettings::imageFilePrefix), and init_from refers to them as URIs. Names of
// the scene become ids as they stand, but for buildCorrectId; a character
// that XML 1.0 cannot hold, or a byte that is not UTF-8, is written as U+FFFD
// and the save logs a warning saying how many were.
//
// A failed or cancelled save returns false, removes the document and the
// images it was writing, and leaves the folder's other files, older images of
// the same names included, as they were: images are written under temporary
// names and take their own only once the document is whole; a save lists
// them in SaveMeshOptions::companionFiles. Each save keeps its ids and
// settings to itself, so saves on one driver may run side by side.
class OVMESHDRIVERS_API ovColladaMeshDriver : public ovCoreMeshDriver {
public:
    // Parameter names of an accessor: X Y Z, S T P or R G B.
    enum ColladaFloatArrayType : int { XYZ = 0, STP = 1, RGB = 2 };

    ovColladaMeshDriver();
    ~ovColladaMeshDriver() override;
    std::string getName() const override { return "ovColladaMeshDriver"; }

    bool saveMeshes(const ovObjectList& objects, const std::string& path,
                    ovProgressNotifierInterface* progress, const SaveMeshOptions& options) override;

    // Every "#", blank and ":" becomes "_"; nothing else changes.
    static void buildCorrectId(std::string& id);
};

}  // namespace ov
