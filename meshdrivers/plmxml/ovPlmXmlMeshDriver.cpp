#include "plmxml/ovPlmXmlMeshDriver.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "plmxml/PlmXmlLoader.h"
#include "plmxml/PlmXmlOccurrences.h"
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

// Keeps what is read through it, so that a second reader can read the
// document again from its start, and then goes on where the first stopped.
class RereadableDevice : public ovIoDevice {
public:
    explicit RereadableDevice(ovIoDevice& device) : mDevice(device) {}
    bool good() const override { return mNext < mKept.size() || mDevice.good(); }
    int64_t write(const char* data, int64_t length) override { return mDevice.write(data, length); }
    int64_t read(char* data, int64_t length) override {
        if (mKeeping) {
            const int64_t got = mDevice.read(data, length);
            mKept.append(data, static_cast<size_t>(std::max<int64_t>(got, 0)));
            return got;
        }
        if (mNext == mKept.size()) {
            return mDevice.read(data, length);
        }
        const size_t count = std::min(mKept.size() - mNext, static_cast<size_t>(length));
        std::copy_n(mKept.data() + mNext, count, data);
        mNext += count;
        return static_cast<int64_t>(count);
    }
    void rewind() { mKeeping = false; }

private:
    ovIoDevice& mDevice;
    std::string mKept;
    size_t mNext = 0;
    bool mKeeping = true;
};

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
    // A second reader opens the file again.
    std::optional<ovIoDeviceFileStream> again;
    const auto reopen = [&again, &path]() -> ovIoDevice& {
        return again.emplace(path, ovIoDevice::ReadOnly, true);
    };
    return guardedLoad(objects, {file, reopen, ovDirUtils::ExtractFolder(path)}, progress, options);
}

bool ovPlmXmlMeshDriver::loadMeshes(ovObjectList& objects, ovIoDevice& device, const std::string& /*path*/,
                                    ovProgressNotifierInterface* progress, const LoadMeshOptions& options) {
    if (mReading != PlmXmlReading::Auto) {
        return guardedLoad(objects, {device, nullptr, ""}, progress, options);
    }
    // A device is read once: what the first reader took is kept for the second.
    RereadableDevice rereadable(device);
    const auto rewind = [&rereadable]() -> ovIoDevice& {
        rereadable.rewind();
        return rereadable;
    };
    return guardedLoad(objects, {rereadable, rewind, ""}, progress, options);
}

bool ovPlmXmlMeshDriver::guardedLoad(ovObjectList& objects, const Document& document,
                                     ovProgressNotifierInterface* progress, const LoadMeshOptions& options) {
    try {
        return loadFromDevice(objects, document, progress, options);
    } catch (const std::exception& failure) {
        addErrorMessage(std::string("E: ") + failure.what(), kMessageCode);
    }
    return false;
}

bool ovPlmXmlMeshDriver::loadFromDevice(ovObjectList& objects, const Document& document,
                                        ovProgressNotifierInterface* progress,
                                        const LoadMeshOptions& options) {
    Tree tree;
    switch (mReading) {
        case PlmXmlReading::Strict:
            tree = loadStrictly(document.device, progress, options);
            break;
        case PlmXmlReading::Occurrences:
            tree = loadOccurrences(document.device, progress, options, document.folder);
            break;
        case PlmXmlReading::Auto:
            tree = loadStrictlyOrOccurrences(document, progress, options);
            break;
    }
    if (!tree.root) {
        return false;
    }
    attachDocumentAttributes(*tree.root, tree.documentAttributes);
    tree.root->setMetadata(new ovWorldUnitsMetaData(kMetresPerMillimetre));
    objects.emplace_back(tree.root.get());
    return true;
}

ovPlmXmlMeshDriver::Tree ovPlmXmlMeshDriver::loadStrictly(ovIoDevice& device,
                                                          ovProgressNotifierInterface* progress,
                                                          const LoadMeshOptions& options) {
    plmxml::PlmXmlSceneBuilder builder(progress, mMaxExpansion);
    PlmXmlLoader loader(&device, this, builder, options.importMetadata, progress);
    loader.parse();
    // A parse cut short by the user leaves records that are incomplete.
    if (loader.isAborted() || (progress && progress->isCanceled())) {
        return {};
    }
    loader.handOverRemainingProductDefs();
    if (!builder.succeeded(*this)) {
        return {};
    }
    if (builder.productDefCount() == 0) {
        addErrorMessage("No ProductDef in the document", kMessageCode);
        return {};
    }
    return {builder.takeRoot(), loader.documentAttributes()};
}

ovPlmXmlMeshDriver::Tree ovPlmXmlMeshDriver::loadOccurrences(ovIoDevice& device,
                                                             ovProgressNotifierInterface* progress,
                                                             const LoadMeshOptions& options,
                                                             const std::string& documentFolder) {
    plmxml::PlmXmlOccurrenceReader reader(device, *this, options.importMetadata, progress, mMaxExpansion,
                                          documentFolder);
    ovPointer<ovNode> root = reader.load();
    return {root, root ? reader.documentAttributes() : ovVariantMapImpl()};
}

ovPlmXmlMeshDriver::Tree ovPlmXmlMeshDriver::loadStrictlyOrOccurrences(const Document& document,
                                                                       ovProgressNotifierInterface* progress,
                                                                       const LoadMeshOptions& options) {
    Tree tree = loadStrictly(document.device, progress, options);
    if (tree.root || (progress && progress->isCanceled())) {
        return tree;
    }
    // The message that ended the strict reading is its last one; warnings
    // before it concern a reading whose scene is dropped.
    const std::string reason = getErrorMessages().empty() ? "" : getErrorMessages().back().first;
    clearErrorMessages();
    addErrorMessage("W: Not read as product definitions (" + reason + "); read as an occurrence tree",
                    kMessageCode);
    return loadOccurrences(document.reread(), progress, options, document.folder);
}

}  // namespace ov
