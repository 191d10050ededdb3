#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/ovMeshDriversExport.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovSpatial.h"
#include "system/ovVariantContainers.h"

namespace ov {

// How a PLM XML document is read. Strict: product definitions and their
// instance graph, exactly as the driver has always read them. Occurrences:
// the occurrence tree of the ProductView, the structure product data
// management systems export. Instances: the instance graph as CAD systems
// export it (a root instance by rootRefs or rootInstanceRef, Transforms
// anywhere in the document, instances named after their parts when they
// have no name). Both take schema versions 4, 5 and 6 and every element the
// schema derives from the ones they read. Auto: strictly, and, when that
// fails, as occurrences, then as instances, with one warning that says which
// reading was used and quotes why the strict reading failed; when all fail,
// the reason is that of the reading that came furthest.
enum class PlmXmlReading { Strict, Occurrences, Auto, Instances };

class PlmXmlLoadSettings;

// Loads PLM XML product structures (schema version 4 or 6) as a tree of
// nodes and external-reference nodes in millimetres, one node per instance
// (per occurrence, when read as occurrences), each with its instance
// metadata. Load only. Why a load failed is kept in
// the driver's error messages (code -1); parser messages start with "E: " or
// "W: ", and so do warnings on a load that goes on (a rotation that is no
// rotation).
class OVMESHDRIVERS_API ovPlmXmlMeshDriver : public ovCoreMeshDriver {
public:
    ovPlmXmlMeshDriver();
    ~ovPlmXmlMeshDriver() override;
    std::string getName() const override { return "ovPlmXmlMeshDriver"; }

    // On success appends exactly one root and answers true; on failure appends
    // nothing. The path is not read. Read as Auto, what the first reader took
    // of the device is kept in memory for the second.
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
    // Sets the factor of the loads that bring no PlmXmlLoadSettings, on an
    // instance of the caller's own.
    static constexpr uint64_t kMinSceneBudget = 64'000'000;
    void setMaxExpansion(double factor) { mMaxExpansion = factor; }

    // The reading of the loads that bring no PlmXmlLoadSettings, on an
    // instance of the caller's own; strict unless set. The occurrence reader makes external references
    // of the files of leaf occurrences, resolved from the document's folder
    // when it is loaded by path (kept relative when loaded from a device).
    void setReading(PlmXmlReading reading) { mReading = reading; }

private:
    // The load's settings, or the instance's defaults.
    PlmXmlLoadSettings settingsOf(const LoadMeshOptions& options) const;
    // A reader's scene, null when it failed, the document element's
    // attributes, and how far the reading came (0: its structure is not in
    // the document, 1: its root is named, 2: a root was read).
    struct Tree {
        ovPointer<ovNode> root;
        ovVariantMapImpl documentAttributes;
        int progress = 0;
        // Of the strict reading: why an instance it placed stays unplaced.
        std::string unfollowedTransform;
    };
    double mMaxExpansion = kDefaultMaxExpansion;
    PlmXmlReading mReading = PlmXmlReading::Strict;
    // The document to load: its device, how to read it again from its start
    // (for a second reader), and the folder its file locations are relative to.
    struct Document {
        ovIoDevice& device;
        std::function<ovIoDevice&()> reread;
        std::string folder;
    };
    // Nothing escapes towards the manager, not even a failed allocation on a
    // huge document.
    bool guardedLoad(ovObjectList& objects, const Document& document, ovProgressNotifierInterface* progress,
                     const LoadMeshOptions& options);
    bool loadFromDevice(ovObjectList& objects, const Document& document,
                        ovProgressNotifierInterface* progress, const LoadMeshOptions& options);
    Tree loadStrictly(ovIoDevice& device, ovProgressNotifierInterface* progress,
                      const LoadMeshOptions& options);
    Tree loadStructure(ovIoDevice& device, ovProgressNotifierInterface* progress,
                       const LoadMeshOptions& options, const std::string& documentFolder, bool occurrences);
    Tree loadAnyWay(const Document& document, ovProgressNotifierInterface* progress,
                    const LoadMeshOptions& options);
};

// How the PLM XML driver reads one load; a load without them reads as the
// driver instance's defaults say (see setReading and setMaxExpansion).
class OVMESHDRIVERS_API PlmXmlLoadSettings : public ovDriverSettings {
public:
    ~PlmXmlLoadSettings() override;

    PlmXmlReading reading = PlmXmlReading::Strict;
    // See ovPlmXmlMeshDriver::kDefaultMaxExpansion.
    double maxExpansion = ovPlmXmlMeshDriver::kDefaultMaxExpansion;
};

}  // namespace ov
