#pragma once

#include <string>

#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovCoreMeshDriver.h"

namespace ov {

// Saves the polylines of a scene as an SVG page of the size DrawingSaveSettings
// or the root's vectorial metadata gives: one group per line carrying its colour and width,
// one path per run of connected segments. Save only, by device or by path
// ("svg").
class OVMESHDRIVERS_API Mesh2SvgDriver : public ovCoreMeshDriver {
public:
    Mesh2SvgDriver();
    std::string getName() const override { return "Mesh2SvgDriver"; }

    // The root must be the only object, a spatial, and a page must be given;
    // otherwise nothing is written and the answer is false. Of the options
    // only lineBreaks and the page are read.
    bool saveMeshes(const ovObjectList& objects, ovIoDevice& device, const std::string& path,
                    ovProgressNotifierInterface* progress, const SaveMeshOptions& options) override;
    bool saveMeshes(const ovObjectList& objects, const std::string& path,
                    ovProgressNotifierInterface* progress, const SaveMeshOptions& options) override;

    ovSavedContent savedContent(const SaveMeshOptions& options) const override;
};

}  // namespace ov
