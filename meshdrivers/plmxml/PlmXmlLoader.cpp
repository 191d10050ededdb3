#include "plmxml/PlmXmlLoader.h"

#include <algorithm>
#include <string_view>

#include "core/DriverLog.h"
#include "plmxml/PlmXmlElements.h"
#include "plmxml/PlmXmlScene.h"
#include "plmxml/ovPlmXmlMeshDriver.h"
#include "system/ovStringUtils.h"

namespace ov {

namespace {

// Element and attribute names are compared as views: lengths first, which
// settles most comparisons of a large document without reading a byte.
using namespace std::string_view_literals;

constexpr int kMessageCode = -1;

struct ElementNames {
    std::string_view part;
    std::string_view instance;
};

// Part and instance elements of each mode (none before the document element).
constexpr ElementNames kElementNamesOfMode[] = {
    {{}, {}}, {"Part", "Instance"}, {"ProductRevisionView", "ProductInstance"}};

bool isElement(std::string_view name, std::string_view elementName) {
    return !elementName.empty() && name == elementName;
}

}  // namespace

PlmXmlLoader::PlmXmlLoader(ovIoDevice* device, ovPlmXmlMeshDriver* driver,
                           plmxml::PlmXmlSceneBuilder& builder, bool importMetadata,
                           ovProgressNotifierInterface* progress)
    : PlmXmlHandler(*driver),
      mDevice(*device),
      mImportMetadata(importMetadata),
      mProgress(progress),
      mSceneBuilder(builder) {}

void PlmXmlLoader::parse() {
    xml::ParseXmlStream(mDevice, *this, mProgress);
}

int PlmXmlLoader::startElement(std::string_view name, const xml::XmlAttributes& attributes) {
    if (mAborted) {
        return xml::Stop;
    }
    if (mSkippingProductView) {
        return xml::Continue;
    }
    const ElementNames& names = kElementNamesOfMode[mMode];
    if (name == "UserValue"sv) {
        readUserValue(attributes);
    } else if (name == "UserData"sv || name == "Bound"sv || name == "ApplicationRef"sv) {
        // Containers and references the scene has no use for.
    } else if (name == "Representation"sv) {
        readRepresentation(attributes);
    } else if (isElement(name, names.part)) {
        return startPart(attributes);
    } else if (isElement(name, names.instance)) {
        return startInstance(attributes);
    } else if (name == "Transform"sv) {
        startText();
    } else if (name == "InstanceGraph"sv) {
        return startInstanceGraph(attributes);
    } else if (name == "ProductDef"sv) {
        startProductDef();
    } else if (name == "ProductView"sv) {
        mSkippingProductView = true;
    } else if (plmxml::isDocumentElement(name)) {
        return startDocumentElement(attributes);
    } else if (name.find(':') == std::string::npos) {
        logDiagnosticIn("plmxml", "Unhandled element ", name);
    }
    return xml::Continue;
}

void PlmXmlLoader::readUserValue(const xml::XmlAttributes& attributes) {
    if (!mCurrentPart) {
        logDiagnosticIn("plmxml", "Unexpected UserValue");
        return;
    }
    if (!mImportMetadata) {
        return;
    }
    plmxml::readUserValue(attributes, mAttributeNames, mCurrentPart->attributes, *mCurrentPartTexts);
}

void PlmXmlLoader::readRepresentation(const xml::XmlAttributes& attributes) {
    if (!mCurrentPart) {
        return;
    }
    for (const auto& [key, value] : attributes) {
        if (key == "format"sv) {
            if (mImportMetadata) {
                mAttributeNames.set(mCurrentPart->attributes, key, mCurrentPartTexts->add(value));
            }
        } else if (key == "location"sv) {
            mCurrentPart->location = mCurrentPartTexts->add(value);
        } else if (key != "id"sv) {
            logDiagnosticIn("plmxml", "Unexpected attribute ", key, " in Representation");
        }
    }
}

template <typename Record>
Record* PlmXmlLoader::newRecord(plmxml::PlmXmlRecordTable<Record> PlmXmlProductDef::*records,
                                const xml::XmlAttributes& attributes, const char* element, const char* kind) {
    if (!mCurrentProductDef) {
        logDiagnosticIn("plmxml", element, " outside a ProductDef ignored");
        return nullptr;
    }
    const std::string_view id = mCurrentProductDef->texts.add(plmxml::idOf(attributes));
    const auto [record, inserted] = (mCurrentProductDef->*records).tryEmplace(id);
    if (!inserted) {
        abort(std::string("Got double ") + kind + " definition " + std::string(id));
        return nullptr;
    }
    return record;
}

int PlmXmlLoader::startPart(const xml::XmlAttributes& attributes) {
    PlmXmlPart* const stored = newRecord(&PlmXmlProductDef::parts, attributes, "Part", "part");
    if (!stored) {
        return mAborted ? xml::Stop : xml::Continue;
    }
    PlmXmlPart& part = *stored;
    plmxml::PlmXmlTextStore& texts = mCurrentProductDef->texts;
    // Room for the user value and representation format that usually follow.
    part.attributes.reserve(attributes.size() + 2);
    for (const auto& [key, value] : attributes) {
        if (key == "instanceRefs"sv) {
            plmxml::splitAtSpaces(texts.add(value), part.instanceRefs);
            continue;
        }
        if (key == "id"sv || (!mImportMetadata && key != "name"sv && key != "type"sv)) {
            continue;
        }
        const std::string_view text = texts.add(value);
        if (key == "name"sv) {
            part.name = text;
        } else if (key == "type"sv) {
            part.type = text;
        }
        mAttributeNames.set(part.attributes, key, text);
    }
    mCurrentPart = &part;
    mCurrentPartTexts = &mCurrentProductDef->texts;
    return xml::Continue;
}

int PlmXmlLoader::startInstance(const xml::XmlAttributes& attributes) {
    PlmXmlInstance* const stored =
        newRecord(&PlmXmlProductDef::instances, attributes, "Instance", "instance");
    if (!stored) {
        return mAborted ? xml::Stop : xml::Continue;
    }
    PlmXmlInstance& instance = *stored;
    plmxml::PlmXmlTextStore& texts = mCurrentProductDef->texts;
    instance.attributes.reserve(attributes.size());
    mOpenTransformRef.clear();
    mOpenInstancePlaced = false;
    for (const auto& [key, value] : attributes) {
        if (key == "transformRef"sv) {
            mOpenTransformRef = value;
        }
        if (key == "partRef"sv) {
            instance.partRef = texts.add(value);
            continue;
        }
        if (key == "name"sv) {
            instance.name = texts.add(value);
            mAttributeNames.set(instance.attributes, key, instance.name);
        } else if (key != "id"sv && mImportMetadata) {
            mAttributeNames.set(instance.attributes, key, texts.add(value));
        }
    }
    mCurrentInstance = &instance;
    return xml::Continue;
}

int PlmXmlLoader::startInstanceGraph(const xml::XmlAttributes& attributes) {
    if (!mCurrentProductDef || !mCurrentProductDef->rootRef.empty()) {
        abort("Unexpected Instance Graph");
        return xml::Stop;
    }
    for (const auto& [key, value] : attributes) {
        if (key == "rootRefs"sv) {
            mCurrentProductDef->rootRef = value;
        }
    }
    return xml::Continue;
}

int PlmXmlLoader::startDocumentElement(const xml::XmlAttributes& attributes) {
    const std::string version =
        plmxml::readDocumentElement(attributes, mAttributeNames, mDocumentAttributes, mDocumentTexts);
    if (version == "4"sv) {
        mMode = SchemaVersion4;
    } else if (version == "6"sv) {
        mMode = SchemaVersion6;
    } else {
        abort("Unsupported plmxl schema version " + version);
        return xml::Stop;
    }
    return xml::Continue;
}

bool PlmXmlLoader::endElement(std::string_view name) {
    if (mAborted) {
        return false;
    }
    if (mSkippingProductView) {
        mSkippingProductView = name != "ProductView"sv;
        return true;
    }
    const ElementNames& names = kElementNamesOfMode[mMode];
    if (isElement(name, names.part)) {
        mCurrentPart = nullptr;
    } else if (isElement(name, names.instance)) {
        noteUnfollowedTransform();
        mCurrentInstance = nullptr;
    } else if (name == "ProductDef"sv) {
        endProductDef();
    } else if (name == "Transform"sv) {
        return endTransform();
    }
    return true;
}

void PlmXmlLoader::startProductDef() {
    if (mSpareProductDefs.empty()) {
        mProductDefs.emplace_back();
    } else {
        mProductDefs.splice(mProductDefs.end(), mSpareProductDefs, mSpareProductDefs.begin());
    }
    mCurrentProductDef = &mProductDefs.back();
}

void PlmXmlLoader::endProductDef() {
    if (mCurrentProductDef) {
        mSceneBuilder.addProductDef(*mCurrentProductDef, mAttributeNames, mDevice.bytesRead());
        const auto done =
            std::find_if(mProductDefs.begin(), mProductDefs.end(),
                         [this](const PlmXmlProductDef& def) { return &def == mCurrentProductDef; });
        done->recycle();
        mSpareProductDefs.splice(mSpareProductDefs.end(), mProductDefs, done);
        // Open parts and instances of the product definition went with it.
        mCurrentPart = nullptr;
        mCurrentInstance = nullptr;
    }
    mCurrentProductDef = nullptr;
}

void PlmXmlLoader::handOverRemainingProductDefs() {
    for (PlmXmlProductDef& productDef : mProductDefs) {
        mSceneBuilder.addProductDef(productDef, mAttributeNames, mDevice.bytesRead());
    }
    mProductDefs.clear();
}

bool PlmXmlLoader::endTransform() {
    const std::string& text = endText();
    if (mCurrentInstance) {
        mOpenInstancePlaced = true;
        if (!plmxml::readTransformNumbers(text, mNumbers)) {
            abort(plmxml::transformFailure(text));
            return false;
        }
        if (!plmxml::setPlacement(mCurrentInstance->transform, mNumbers)) {
            // The load goes on, the instance unturned: a warning, not a failure.
            mDriver.addErrorMessage("W: Invalid rotation for " + std::string(mCurrentInstance->name),
                                    kMessageCode);
        }
    }
    return true;
}

void PlmXmlLoader::noteUnfollowedTransform() {
    if (mCurrentInstance && !mOpenTransformRef.empty() && !mOpenInstancePlaced &&
        mUnfollowedTransform.empty()) {
        mUnfollowedTransform = "Instance " + std::string(mCurrentInstance->id) +
                               " is placed by transformRef " + mOpenTransformRef +
                               ", which the strict reading does not follow";
    }
}

ovVariantMapImpl PlmXmlLoader::documentAttributes() {
    return plmxml::toVariantMap(mDocumentAttributes, mAttributeNames.order());
}

void PlmXmlPart::clear() {
    id = {};
    attributes.clear();
    location = {};
    name = {};
    type = {};
    instanceRefs.clear();
    children.clear();
}

void PlmXmlInstance::clear() {
    id = {};
    attributes.clear();
    partRef = {};
    name = {};
    transform = ovTransformation();
    part = nullptr;
    definition = nullptr;
    group = 0;
    firstMetadata = nullptr;
    metadataBytes = 0;
    subtreeBytes = 0;
}

void PlmXmlProductDef::recycle() {
    rootRef.clear();
    parts.recycle();
    instances.recycle();
    texts.clear();
    rootInstance = nullptr;
}

int64_t PlmXmlCountingDevice::read(char* data, int64_t length) {
    const int64_t got = mDevice.read(data, length);
    mBytesRead += static_cast<uint64_t>(std::max<int64_t>(got, 0));
    return got;
}

}  // namespace ov
