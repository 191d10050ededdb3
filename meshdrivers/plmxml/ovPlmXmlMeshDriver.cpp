#include "plmxml/ovPlmXmlMeshDriver.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

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

PlmXmlLoadSettings::~PlmXmlLoadSettings() = default;

PlmXmlLoadSettings ovPlmXmlMeshDriver::settingsOf(const LoadMeshOptions& options) const {
    if (const PlmXmlLoadSettings* settings = options.drivers.find<PlmXmlLoadSettings>()) {
        return *settings;
    }
    PlmXmlLoadSettings defaults;
    defaults.reading = mReading;
    defaults.maxExpansion = mMaxExpansion;
    return defaults;
}

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
    if (settingsOf(options).reading != PlmXmlReading::Auto) {
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
    const PlmXmlReading reading = settingsOf(options).reading;
    switch (reading) {
        case PlmXmlReading::Strict:
            tree = loadStrictly(document.device, progress, options);
            break;
        case PlmXmlReading::Occurrences:
        case PlmXmlReading::Instances:
            tree = loadStructure(document.device, progress, options, document.folder,
                                 reading == PlmXmlReading::Occurrences);
            break;
        case PlmXmlReading::Auto:
            tree = loadAnyWay(document, progress, options);
            break;
    }
    if (!tree.root) {
        return false;
    }
    // Without metadata the root keeps only its units.
    if (options.importMetadata) {
        attachDocumentAttributes(*tree.root, tree.documentAttributes);
    }
    tree.root->setMetadata(new ovWorldUnitsMetaData(kMetresPerMillimetre));
    objects.emplace_back(tree.root.get());
    return true;
}

ovPlmXmlMeshDriver::Tree ovPlmXmlMeshDriver::loadStrictly(ovIoDevice& device,
                                                          ovProgressNotifierInterface* progress,
                                                          const LoadMeshOptions& options) {
    plmxml::PlmXmlSceneBuilder builder(progress, settingsOf(options).maxExpansion);
    PlmXmlLoader loader(&device, this, builder, options.importMetadata, progress);
    loader.parse();
    // A parse cut short by the user leaves records that are incomplete.
    if (loader.isAborted() || (progress && progress->isCanceled())) {
        return {{}, {}, builder.progress(), {}};
    }
    loader.handOverRemainingProductDefs();
    if (!builder.succeeded(*this)) {
        return {{}, {}, builder.progress(), {}};
    }
    if (builder.productDefCount() == 0) {
        addErrorMessage("No ProductDef in the document", kMessageCode);
        return {};
    }
    // Not a failure of the strict reading, but never unsaid.
    if (!loader.unfollowedTransform().empty()) {
        addErrorMessage("W: " + loader.unfollowedTransform(), kMessageCode);
    }
    return {builder.takeRoot(), loader.documentAttributes(), builder.progress(),
            loader.unfollowedTransform()};
}

ovPlmXmlMeshDriver::Tree ovPlmXmlMeshDriver::loadStructure(ovIoDevice& device,
                                                           ovProgressNotifierInterface* progress,
                                                           const LoadMeshOptions& options,
                                                           const std::string& documentFolder,
                                                           bool occurrences) {
    plmxml::PlmXmlDocumentReader reader(device, *this, options.importMetadata, progress,
                                        settingsOf(options).maxExpansion, documentFolder);
    if (!reader.parse()) {
        return {};
    }
    ovPointer<ovNode> root =
        reader.build(occurrences ? plmxml::PlmXmlStructure::Occurrences : plmxml::PlmXmlStructure::Instances);
    return {root, root ? reader.documentAttributes() : ovVariantMapImpl(), 0, {}};
}

namespace {

// One reading's answer, with the messages it gave.
struct Attempt {
    ovPointer<ovNode> root;
    int progress = 0;
    std::vector<std::pair<std::string, int>> messages;
};

// Why the strict reading failed, as the warning of another reading quotes it.
std::string strictFailure(const Attempt& strict) {
    std::string reason = strict.messages.empty() ? "" : strict.messages.back().first;
    reason = reason.rfind("W: ", 0) == 0 ? reason.substr(3) : reason;
    // An instance graph without rootRefs, as product data management systems write it.
    return reason == "fail to find root " ? "no rootRefs names its root instance" : reason;
}

}  // namespace

// The readings are tried in turn, each with the driver's messages to
// itself; the driver then says those of the one that is kept.
ovPlmXmlMeshDriver::Tree ovPlmXmlMeshDriver::loadAnyWay(const Document& document,
                                                        ovProgressNotifierInterface* progress,
                                                        const LoadMeshOptions& options) {
    const auto attempt = [this](auto&& read) {
        clearErrorMessages();
        Attempt answer;
        std::tie(answer.root, answer.progress) = read();
        answer.messages = getErrorMessages();
        clearErrorMessages();
        return answer;
    };
    const auto say = [this](const Attempt& chosen) {
        for (const auto& [text, code] : chosen.messages) {
            addErrorMessage(text, code);
        }
    };
    Tree strict;
    std::vector<Attempt> attempts{attempt([&] {
        strict = loadStrictly(document.device, progress, options);
        return std::pair(strict.root, strict.progress);
    })};
    // A scene that misplaces an instance is kept only when no other reading makes one.
    if ((strict.root && strict.unfollowedTransform.empty()) || (progress && progress->isCanceled())) {
        say(attempts.front());
        return strict;
    }
    plmxml::PlmXmlDocumentReader reader(document.reread(), *this, options.importMetadata, progress,
                                        settingsOf(options).maxExpansion, document.folder);
    const bool parsed = reader.parse();
    const std::vector<std::pair<std::string, int>> parsing = getErrorMessages();
    clearErrorMessages();
    // A document the reader cannot parse fails the strict reading the same way.
    if (!parsed) {
        say(attempts.front());
        return strict;
    }
    const struct {
        plmxml::PlmXmlStructure structure;
        const char* name;
    } readings[] = {{plmxml::PlmXmlStructure::Occurrences, "an occurrence tree"},
                    {plmxml::PlmXmlStructure::Instances, "an instance graph"}};
    for (const auto& reading : readings) {
        Attempt& tried = attempts.emplace_back(attempt([&] {
            ovPointer<ovNode> root = reader.build(reading.structure);
            return std::pair(root, static_cast<int>(reader.progress()));
        }));
        tried.messages.insert(tried.messages.begin(), parsing.begin(), parsing.end());
        if (tried.root) {
            addErrorMessage("W: Not read as product definitions (" + strictFailure(attempts.front()) +
                                "); read as " + reading.name,
                            kMessageCode);
            say(tried);
            return {tried.root, reader.documentAttributes(), tried.progress, {}};
        }
        if (progress && progress->isCanceled()) {
            return {};
        }
    }
    if (strict.root) {
        say(attempts.front());
        return strict;
    }
    // Of readings that came as far, the first tried.
    say(*std::max_element(attempts.begin(), attempts.end(), [](const Attempt& left, const Attempt& right) {
        return left.progress < right.progress;
    }));
    return {};
}

}  // namespace ov
