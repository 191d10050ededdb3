#include "plmxml/PlmXmlLoader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "plmxml/PlmXmlLog.h"
#include "plmxml/PlmXmlScene.h"
#include "plmxml/ovPlmXmlMeshDriver.h"
#include "system/ovStringUtils.h"

namespace ov {

namespace {

// Element and attribute names are compared as views: lengths first, which
// settles most comparisons of a large document without reading a byte.
using namespace std::string_view_literals;

constexpr int kMessageCode = -1;
constexpr size_t kTransformNumberCount = 16;
// Lengths in the file are metres; the scene is built in millimetres.
constexpr float kMillimetresPerMetre = 1000.0f;
constexpr double kMinDeterminant = 0.99;
constexpr double kMaxDeterminant = 1.01;

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

bool isDocumentElement(std::string_view name) {
    return name == "PLMXML"sv || ovStringUtils::endsWith(name, ":PLMXML");
}

// Pieces between single spaces; empty pieces are dropped, other white space
// stays inside its piece. Pieces may be views into text.
template <typename Piece>
void splitAtSpaces(std::string_view text, std::vector<Piece>& pieces) {
    pieces.clear();
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            pieces.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
}

bool isCSpace(char character) {
    return character == ' ' || (character >= '\t' && character <= '\r');
}

// Reads the piece that starts at first (pieces end at a space or at last) as a
// number in the C locale's form; white space other than the space before it,
// and a plus sign, are accepted. Answers the end of the piece, or null when it
// is not a number read to its end. Values that are not finite once in single
// precision (nan, inf, 1e39) would place the instance nowhere, so they are
// refused like text.
const char* readNumberPiece(const char* first, const char* last, float& number) {
    // Most of a placement's numbers are a lone digit (0, 1, -0), which the
    // general reader takes a hundred times longer to read.
    const bool negative = *first == '-';
    const char* const digit = negative ? first + 1 : first;
    if (digit != last && *digit >= '0' && *digit <= '9' && (digit + 1 == last || digit[1] == ' ')) {
        number = static_cast<float>(*digit - '0');
        number = negative ? -number : number;
        return digit + 1;
    }
    while (first != last && *first != ' ' && isCSpace(*first)) {
        ++first;
    }
    if (last - first > 1 && *first == '+' && first[1] != '-' && first[1] != '+') {
        ++first;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || (end != last && *end != ' ')) {
        return nullptr;
    }
    number = static_cast<float>(value);
    return std::isfinite(number) ? end : nullptr;
}

// The rotation's rows are (c0, c4, c8), (c1, c5, c9), (c2, c6, c10): the
// file's matrix maps row vectors.
Wm4::Matrix3<float> rotationOf(const std::vector<float>& c) {
    return Wm4::Matrix3<float>(c[0], c[4], c[8], c[1], c[5], c[9], c[2], c[6], c[10]);
}

double determinantOf(const Wm4::Matrix3<float>& m) {
    auto at = [&m](size_t row, size_t column) { return static_cast<double>(m(row, column)); };
    return at(0, 0) * (at(1, 1) * at(2, 2) - at(1, 2) * at(2, 1)) -
           at(0, 1) * (at(1, 0) * at(2, 2) - at(1, 2) * at(2, 0)) +
           at(0, 2) * (at(1, 0) * at(2, 1) - at(1, 1) * at(2, 0));
}

// The value of the attribute "id", empty when there is none.
std::string_view idOf(const xml::XmlAttributes& attributes) {
    for (const auto& [key, value] : attributes) {
        if (key == "id"sv) {
            return value;
        }
    }
    return {};
}

}  // namespace

PlmXmlLoader::PlmXmlLoader(ovIoDevice* device, ovPlmXmlMeshDriver* driver,
                           plmxml::PlmXmlSceneBuilder& builder, bool importMetadata,
                           ovProgressNotifierInterface* progress)
    : mDevice(*device),
      mDriver(driver),
      mImportMetadata(importMetadata),
      mProgress(progress),
      mSceneBuilder(builder) {
    // Only a Transform's text is read.
    setWantsCharacters(false);
}

void PlmXmlLoader::parse() {
    xml::ParseXmlStream(mDevice, *this, mProgress);
}

bool PlmXmlLoader::documentBoundary() {
    return !mAborted;
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
        mCollectingText = true;
        setWantsCharacters(true);
        mText.clear();
    } else if (name == "InstanceGraph"sv) {
        return startInstanceGraph(attributes);
    } else if (name == "ProductDef"sv) {
        startProductDef();
    } else if (name == "ProductView"sv) {
        mSkippingProductView = true;
    } else if (isDocumentElement(name)) {
        return startDocumentElement(attributes);
    } else if (name.find(':') == std::string::npos) {
        plmxml::logDiagnostic("Unhandled element ", name);
    }
    return xml::Continue;
}

void PlmXmlLoader::readUserValue(const xml::XmlAttributes& attributes) {
    if (!mCurrentPart) {
        plmxml::logDiagnostic("Unexpected UserValue");
        return;
    }
    if (!mImportMetadata) {
        return;
    }
    const std::string_view* title = nullptr;
    const std::string_view* value = nullptr;
    const std::string_view* type = nullptr;
    for (const auto& [key, attributeValue] : attributes) {
        if (key == "title"sv) {
            title = &attributeValue;
        } else if (key == "value"sv) {
            value = &attributeValue;
        } else if (key == "type"sv) {
            type = &attributeValue;
        } else {
            plmxml::logDiagnostic("Unexpected UserValue attribute ", key);
        }
    }
    if (!title || !value) {
        plmxml::logDiagnostic("Unexpected UserValue format");
        return;
    }
    if (type && *type == "boolean"sv) {
        bool flag = false;
        if (ovStringUtils::parseBool(*value, flag)) {
            mAttributeNames.setBoolean(mCurrentPart->attributes, *title, flag);
            return;
        }
        plmxml::logDiagnostic("Unexpected UserValue boolean value ", *value);
    } else if (type) {
        plmxml::logDiagnostic("Unexpected UserValue type value ", *type);
    }
    mAttributeNames.set(mCurrentPart->attributes, *title, mCurrentPartTexts->add(*value));
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
            plmxml::logDiagnostic("Unexpected attribute ", key, " in Representation");
        }
    }
}

template <typename Record>
Record* PlmXmlLoader::newRecord(plmxml::PlmXmlRecordTable<Record> PlmXmlProductDef::*records,
                                const xml::XmlAttributes& attributes, const char* element, const char* kind) {
    if (!mCurrentProductDef) {
        plmxml::logDiagnostic(element, " outside a ProductDef ignored");
        return nullptr;
    }
    const std::string_view id = mCurrentProductDef->texts.add(idOf(attributes));
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
            splitAtSpaces(texts.add(value), part.instanceRefs);
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
    for (const auto& [key, value] : attributes) {
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
    std::string version;
    for (const auto& [key, value] : attributes) {
        if (!ovStringUtils::StartsWith(key, "xmlns")) {
            mAttributeNames.set(mDocumentAttributes, key, mDocumentTexts.add(value));
        }
        if (key == "schemaVersion"sv) {
            version = value;
        }
    }
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
    mCollectingText = false;
    setWantsCharacters(false);
    if (mCurrentInstance) {
        if (!readTransformNumbers()) {
            abort(transformFailure());
            return false;
        }
        applyTransformNumbers();
    }
    mText.clear();
    return true;
}

// Each piece is read where it is found, so that a good text is walked once;
// the first sign of a bad one ends the walk.
bool PlmXmlLoader::readTransformNumbers() {
    mNumbers.resize(kTransformNumberCount);
    const char* next = mText.data();
    const char* const end = next + mText.size();
    size_t count = 0;
    while (true) {
        while (next != end && *next == ' ') {
            ++next;
        }
        if (next == end) {
            return count == kTransformNumberCount;
        }
        if (count == kTransformNumberCount) {
            return false;
        }
        next = readNumberPiece(next, end, mNumbers[count++]);
        if (!next) {
            return false;
        }
    }
}

// Why the text is no transform: a wrong count of pieces before a piece that
// is no number.
std::string PlmXmlLoader::transformFailure() {
    splitAtSpaces(mText, mTokens);
    return (mTokens.size() != kTransformNumberCount ? "Unexpected Transform value "
                                                    : "Fail to parse Transform value ") +
           mText;
}

void PlmXmlLoader::applyTransformNumbers() {
    const Wm4::Matrix3<float> rotation = rotationOf(mNumbers);
    const double determinant = determinantOf(rotation);
    if (determinant > kMinDeterminant && determinant < kMaxDeterminant) {
        mCurrentInstance->transform.SetRotate(rotation);
    } else {
        // The load goes on, the instance unturned: a warning, not a failure.
        mDriver->addErrorMessage("W: Invalid rotation for " + std::string(mCurrentInstance->name),
                                 kMessageCode);
    }
    mCurrentInstance->transform.SetTranslate(Wm4::Vector3<float>(mNumbers[12] * kMillimetresPerMetre,
                                                                 mNumbers[13] * kMillimetresPerMetre,
                                                                 mNumbers[14] * kMillimetresPerMetre));
}

bool PlmXmlLoader::characters(const char* data, int length) {
    if (mAborted) {
        return false;
    }
    if (mCollectingText) {
        mText.append(data, static_cast<size_t>(length));
    }
    return true;
}

bool PlmXmlLoader::message(const std::string& messageText, int level) {
    if (mAborted) {
        return false;
    }
    mDriver->addErrorMessage((level == xml::Warning ? "W: " : "E: ") + messageText, kMessageCode);
    mAborted = level != xml::Warning;
    return true;
}

ovVariantMapImpl PlmXmlLoader::documentAttributes() {
    const plmxml::PlmXmlAttributeNames::Order order = mAttributeNames.order();
    plmxml::settle(mDocumentAttributes, order);
    // In key order, so that each entry lands at the map's end.
    ovVariantMapImpl map;
    map.reserve(mDocumentAttributes.size());
    for (const plmxml::PlmXmlAttribute& attribute : mDocumentAttributes) {
        map.insert(order.names[attribute.key], attribute.value());
    }
    return map;
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

void PlmXmlLoader::abort(const std::string& reason) {
    mAborted = true;
    mDriver->addErrorMessage(reason, kMessageCode);
}

}  // namespace ov
