#pragma once

#include <string>

#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovCoreMeshDriver.h"

namespace ov {

// Saves the triangle meshes of one subtree as a binary STL file, in world
// coordinates shifted so that the smallest x, y and z become 0. Save only.
class OVMESHDRIVERS_API StlMeshDriver : public ovCoreMeshDriver {
public:
    StlMeshDriver();
    ~StlMeshDriver() override;
    std::string getName() const override { return "StlMeshDriver"; }

    // objects must hold exactly one spatial; false, with nothing written,
    // otherwise. The path and the options are not read.
    bool saveMeshes(const ovObjectList& objects, ovIoDevice& device, const std::string& path,
                    ovProgressNotifierInterface* progress, const SaveMeshOptions& options) override;
    bool saveMeshes(const ovObjectList& objects, const std::string& path,
                    ovProgressNotifierInterface* progress, const SaveMeshOptions& options) override;

    // The minimum corner of root's meshes, which becomes the file's origin.
    Wm4::Vector3f savedOrigin(const ovSpatial& root) const override;
};

}  // namespace ov
