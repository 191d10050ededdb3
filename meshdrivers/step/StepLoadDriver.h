#pragma once

#include <memory>
#include <string>

#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovCoreMeshDriver.h"

namespace ov::step {

class BrepMesher;

// Loads AP203, AP214 and AP242 files: the product structure as nodes in
// millimetres, with placements, properties, and faceted and tessellated
// shapes as coloured triangle meshes; exact B-rep shapes are meshed by the
// mesher, as StepLoadSettings ask, or without one left out with a warning.
// Why a load failed ("E: ", with the line), and what it left out ("W: "), are
// kept in the driver's error messages. Load only.
class OVMESHDRIVERS_API StepLoadDriver : public ovCoreMeshDriver {
public:
    explicit StepLoadDriver(std::shared_ptr<const BrepMesher> mesher = nullptr);
    ~StepLoadDriver() override;

    // On success appends exactly one root and answers true; on failure appends nothing.
    bool loadMeshes(ovObjectList& objects, ovIoDevice& device, const std::string& path,
                    ovProgressNotifierInterface* progress, const LoadMeshOptions& options) override;
    bool loadMeshes(ovObjectList& objects, const std::string& path, ovProgressNotifierInterface* progress,
                    const LoadMeshOptions& options) override;
    std::string getName() const override { return "StepLoadDriver"; }
    std::string describeLoadExtension(const std::string& extension) const override;

private:
    std::shared_ptr<const BrepMesher> mMesher;
};

}  // namespace ov::step
