#pragma once

#include <cstdint>
#include <string>

#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovCoreMeshDriver.h"

namespace ov {

// Loads PLM XML product structures (schema version 4 or 6) as a tree of
// nodes and external-reference nodes in millimetres, one node per instance,
// each with its instance metadata. Load only. Why a load failed is kept in
// the driver's error messages (code -1); parser messages start with "E: " or
// "W: ", and so do warnings on a load that goes on (a rotation that is no
// rotation).
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

    // Guard against documents whose shared sub-assemblies multiply. A part
    // used by several others is built once per use, so that a document of a
    // few kilobytes could describe billions of nodes, or copy one large
    // attribute into each of them. Before it makes any node, a load estimates
    // the memory its scene will take (some 400 bytes a node, plus the
    // instance metadata copied into it), and fails with a message naming the
    // limit when that is more than factor times the bytes of the document
    // read so far, or than kMinSceneBudget bytes when that is more. A document
    // without sharing makes a scene of about its own size. A host that trusts
    // its documents raises the factor; infinity lifts the guard.
    static constexpr double kDefaultMaxExpansion = 256;
    static constexpr uint64_t kMinSceneBudget = 64'000'000;
    void setMaxExpansion(double factor) { mMaxExpansion = factor; }

private:
    double mMaxExpansion = kDefaultMaxExpansion;
    bool loadFromDevice(ovObjectList& objects, ovIoDevice& device, ovProgressNotifierInterface* progress,
                        const LoadMeshOptions& options);
};

}  // namespace ov
