#include "plmxml/ovPlmXmlMeshDriver.h"

#include <exception>

#include "plmxml/PlmXmlLoader.h"
#include "plmxml/PlmXmlScene.h"
#include "scenegraph/ovMetadata.h"
#include "system/ovStringUtils.h"

namespace ov {

namespace {

constexpr int kMessageCode = -1;
constexpr double kMetresPerMillimetre = 0.001;

// The document element's attributes go with the root's instance definition.
void attachDocumentAttributes(ovNode& root, const ovVariantMapImpl& documentAttributes) {
    if (documentAttributes.empty()) {
        return;
    }
    auto* metadata = root.findMetadata<ovInstanceMetaData>();
    if (!metadata) {
        metadata = new ovInstanceMetaData(nullptr);
        root.setMetadata(metadata);
    }
    plmxml::mergeVariantMaps(documentAttributes, metadata->getInstanceDefId()->editComponentMd());
}

}  // namespace

ovPlmXmlMeshDriver::ovPlmXmlMeshDriver() : ovCoreMeshDriver(true) {
    addLoadExtension("plmxml");
}

ovPlmXmlMeshDriver::~ovPlmXmlMeshDriver() = default;

bool ovPlmXmlMeshDriver::loadMeshes(ovObjectList& objects, const std::string& path,
                                    ovProgressNotifierInterface* progress, const LoadMeshOptions& options) {
    ovIoDeviceFileStream file(path, ovIoDevice::ReadOnly, true);
    if (!file.isOpen()) {
        return false;
    }
    return loadMeshes(objects, file, ovDirUtils::ExtractFileExtension(path, true, 1), progress, options);
}

bool ovPlmXmlMeshDriver::loadMeshes(ovObjectList& objects, ovIoDevice& device, const std::string& /*path*/,
                                    ovProgressNotifierInterface* progress, const LoadMeshOptions& options) {
    // Nothing may escape towards the manager, not even a failed allocation on
    // a huge document.
    try {
        return loadFromDevice(objects, device, progress, options);
    } catch (const std::exception& failure) {
        addErrorMessage(std::string("E: ") + failure.what(), kMessageCode);
    }
    return false;
}

bool ovPlmXmlMeshDriver::loadFromDevice(ovObjectList& objects, ovIoDevice& device,
                                        ovProgressNotifierInterface* progress,
                                        const LoadMeshOptions& options) {
    plmxml::PlmXmlSceneBuilder builder(progress, mMaxExpansion);
    PlmXmlLoader loader(&device, this, builder, options.importMetadata, progress);
    loader.parse();
    // A parse cut short by the user leaves records that are incomplete.
    if (loader.isAborted() || (progress && progress->isCanceled())) {
        return false;
    }
    loader.handOverRemainingProductDefs();
    if (!builder.succeeded(*this)) {
        return false;
    }
    if (builder.productDefCount() == 0) {
        addErrorMessage("No ProductDef in the document", kMessageCode);
        return false;
    }
    const ovPointer<ovNode> root = builder.takeRoot();
    attachDocumentAttributes(*root, loader.documentAttributes());
    root->setMetadata(new ovWorldUnitsMetaData(kMetresPerMillimetre));
    objects.emplace_back(root.get());
    return true;
}

}  // namespace ov
