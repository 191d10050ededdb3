#pragma once

#include <string>

#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovCoreMeshDriver.h"

namespace ov {

// Loads PLM XML product structures (schema version 4 or 6) as a tree of
// nodes and external-reference nodes in millimetres, one node per instance,
// each with its instance metadata. Load only. Why a load failed is kept in
// the driver's error messages (code -1); parser messages start with "E: " or
// "W: ".
class OVMESHDRIVERS_API ovPlmXmlMeshDriver : public ovCoreMeshDriver {
public:
    ovPlmXmlMeshDriver();
    ~ovPlmXmlMeshDriver() override;

    // On success appends exactly one root and answers true; on failure appends
    // nothing. The path is not read.
    bool loadMeshes(ovObjectList& objects, ovIoDevice& device, const std::string& path,
                    ovProgressNotifierInterface* progress, const LoadMeshOptions& options) override;
    bool loadMeshes(ovObjectList& objects, const std::string& path, ovProgressNotifierInterface* progress,
                    const LoadMeshOptions& options) override;

private:
    bool loadFromDevice(ovObjectList& objects, ovIoDevice& device, ovProgressNotifierInterface* progress,
                        const LoadMeshOptions& options);
};

}  // namespace ov
