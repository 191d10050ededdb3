#pragma once

#include <string>

#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovCoreMeshDriver.h"

namespace ov {

// Saves the polylines of a scene as a flat DXF drawing: one LINE entity per
// segment, placed on the page that the root's vectorial metadata describes.
// Save only, by device or by path ("dxf").
class OVMESHDRIVERS_API DxfDriver : public ovCoreMeshDriver {
public:
    DxfDriver();
    std::string getName() const override { return "DxfDriver"; }

    // The root must be the only object, a spatial carrying vectorial
    // metadata; otherwise nothing is written and the answer is false.
    bool saveMeshes(const ovObjectList& objects, ovIoDevice& device, const std::string& path,
                    ovProgressNotifierInterface* progress, const SaveMeshOptions& options) override;
    bool saveMeshes(const ovObjectList& objects, const std::string& path,
                    ovProgressNotifierInterface* progress, const SaveMeshOptions& options) override;

    ovSavedContent savedContent(const SaveMeshOptions& options) const override;
};

}  // namespace ov
