#pragma once

#include <string>

#include "core/InputFiles.h"
#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovCoreMeshDriver.h"

namespace ov {

// How the OBJ driver reads one load: texture images, their pixel budget and
// the confinement of the files a model names (see ImportSettings).
class OVMESHDRIVERS_API ObjLoadSettings : public ImportSettings {
public:
    ~ObjLoadSettings() override;
};

// Loads Wavefront OBJ files with their material libraries and the PNG and
// JPEG images these name: a root node named after the file, one child node
// per object or group holding one triangle mesh per material its faces use
// (polygons cut into triangles that cover their area) and one polyline per
// material its "l" elements use. Texts may be UTF-8 or UTF-16. Load only.
// Why a load failed ("E: "), and what it left out on a load that went on
// ("W: "), are kept in the driver's error messages, each naming its file
// and line.
class OVMESHDRIVERS_API ObjMeshDriver : public ovCoreMeshDriver {
public:
    ObjMeshDriver();
    ~ObjMeshDriver() override;

    // On success appends exactly one root and answers true; on failure appends
    // nothing. Read from a device, the OBJ text comes in pieces, as from a
    // file (a pipe serves), path names it in messages and its folder is where
    // material libraries are looked for.
    bool loadMeshes(ovObjectList& objects, ovIoDevice& device, const std::string& path,
                    ovProgressNotifierInterface* progress, const LoadMeshOptions& options) override;
    bool loadMeshes(ovObjectList& objects, const std::string& path, ovProgressNotifierInterface* progress,
                    const LoadMeshOptions& options) override;
    std::string getName() const override { return "ObjMeshDriver"; }
    std::string describeLoadExtension(const std::string& extension) const override;
};

}  // namespace ov
