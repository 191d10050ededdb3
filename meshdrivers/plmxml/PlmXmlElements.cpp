#include "plmxml/PlmXmlElements.h"

#include <charconv>
#include <cmath>

#include "core/DriverLog.h"
#include "system/ovStringUtils.h"

namespace ov::plmxml {

namespace {

using namespace std::string_view_literals;

constexpr int kMessageCode = -1;
// Lengths in the file are metres; the scene is built in millimetres.
constexpr float kMillimetresPerMetre = 1000.0f;
constexpr double kMinDeterminant = 0.99;
constexpr double kMaxDeterminant = 1.01;

// Between a transform's numbers. Other white space (a tab) stays inside its
// piece, and so makes it no number.
bool isTransformSeparator(char character) {
    return character == ' ' || character == '\n' || character == '\r';
}

bool isCSpace(char character) {
    return character == ' ' || (character >= '\t' && character <= '\r');
}

// Reads the piece that starts at first (pieces end at a separator or at last)
// as a number in the C locale's form; white space other than a separator
// before it, and a plus sign, are accepted. Answers the end of the piece, or
// null when it is not a number read to its end. Values that are not finite
// once in single precision (nan, inf, 1e39) would place the instance nowhere,
// so they are refused like text.
const char* readNumberPiece(const char* first, const char* last, double& number) {
    // Most of a placement's numbers are a lone digit (0, 1, -0), which the
    // general reader takes a hundred times longer to read.
    const bool negative = *first == '-';
    const char* const digit = negative ? first + 1 : first;
    if (digit != last && *digit >= '0' && *digit <= '9' &&
        (digit + 1 == last || isTransformSeparator(digit[1]))) {
        number = static_cast<double>(*digit - '0');
        number = negative ? -number : number;
        return digit + 1;
    }
    while (first != last && !isTransformSeparator(*first) && isCSpace(*first)) {
        ++first;
    }
    if (last - first > 1 && *first == '+' && first[1] != '-' && first[1] != '+') {
        ++first;
    }
    const auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc() || (end != last && !isTransformSeparator(*end))) {
        return nullptr;
    }
    return std::isfinite(static_cast<float>(number)) ? end : nullptr;
}

size_t countTransformPieces(std::string_view text) {
    size_t count = 0;
    bool inPiece = false;
    for (const char character : text) {
        const bool separator = isTransformSeparator(character);
        count += !separator && !inPiece ? 1 : 0;
        inPiece = !separator;
    }
    return count;
}

Wm4::Matrix3<float> rotationOf(const TransformNumbers& c) {
    auto at = [&c](size_t index) { return static_cast<float>(c[index]); };
    return Wm4::Matrix3<float>(at(0), at(4), at(8), at(1), at(5), at(9), at(2), at(6), at(10));
}

double determinantOf(const Wm4::Matrix3<float>& m) {
    auto at = [&m](size_t row, size_t column) { return static_cast<double>(m(row, column)); };
    return at(0, 0) * (at(1, 1) * at(2, 2) - at(1, 2) * at(2, 1)) -
           at(0, 1) * (at(1, 0) * at(2, 2) - at(1, 2) * at(2, 0)) +
           at(0, 2) * (at(1, 0) * at(2, 1) - at(1, 1) * at(2, 0));
}

}  // namespace

PlmXmlHandler::PlmXmlHandler(ovCoreMeshDriver& driver) : mDriver(driver) {
    // Only a Transform's text is read.
    setWantsCharacters(false);
}

bool PlmXmlHandler::characters(const char* data, int length) {
    if (mAborted) {
        return false;
    }
    if (mCollectingText) {
        mText.append(data, static_cast<size_t>(length));
    }
    return true;
}

bool PlmXmlHandler::message(const std::string& text, int level) {
    if (mAborted) {
        return false;
    }
    mDriver.addErrorMessage((level == xml::Warning ? "W: " : "E: ") + text, kMessageCode);
    mAborted = level != xml::Warning;
    return true;
}

void PlmXmlHandler::startText() {
    mCollectingText = true;
    setWantsCharacters(true);
    mText.clear();
}

const std::string& PlmXmlHandler::endText() {
    mCollectingText = false;
    setWantsCharacters(false);
    return mText;
}

void PlmXmlHandler::abort(const std::string& reason) {
    mAborted = true;
    mDriver.addErrorMessage(reason, kMessageCode);
}

bool isDocumentElement(std::string_view name) {
    return name == "PLMXML"sv || ovStringUtils::endsWith(name, ":PLMXML");
}

std::string_view idOf(const xml::XmlAttributes& attributes) {
    for (const auto& [key, value] : attributes) {
        if (key == "id"sv) {
            return value;
        }
    }
    return {};
}

std::string readDocumentElement(const xml::XmlAttributes& attributes, PlmXmlAttributeNames& names,
                                PlmXmlAttributeList& list, PlmXmlTextStore& texts) {
    std::string version;
    for (const auto& [key, value] : attributes) {
        if (!ovStringUtils::StartsWith(key, "xmlns")) {
            names.set(list, key, texts.add(value));
        }
        if (key == "schemaVersion"sv) {
            version = value;
        }
    }
    return version;
}

void readUserValue(const xml::XmlAttributes& attributes, PlmXmlAttributeNames& names,
                   PlmXmlAttributeList& list, PlmXmlTextStore& texts) {
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
            logDiagnosticIn("plmxml", "Unexpected UserValue attribute ", key);
        }
    }
    if (!title || !value) {
        logDiagnosticIn("plmxml", "Unexpected UserValue format");
        return;
    }
    if (type && *type == "boolean"sv) {
        bool flag = false;
        if (ovStringUtils::parseBool(*value, flag)) {
            names.setBoolean(list, *title, flag);
            return;
        }
        logDiagnosticIn("plmxml", "Unexpected UserValue boolean value ", *value);
    } else if (type) {
        logDiagnosticIn("plmxml", "Unexpected UserValue type value ", *type);
    }
    names.set(list, *title, texts.add(*value));
}

// Each piece is read where it is found, so that a good text is walked once;
// the first sign of a bad one ends the walk.
bool readTransformNumbers(std::string_view text, TransformNumbers& numbers) {
    const char* next = text.data();
    const char* const end = next + text.size();
    size_t count = 0;
    while (true) {
        while (next != end && isTransformSeparator(*next)) {
            ++next;
        }
        if (next == end) {
            return count == numbers.size();
        }
        if (count == numbers.size()) {
            return false;
        }
        next = readNumberPiece(next, end, numbers[count++]);
        if (!next) {
            return false;
        }
    }
}

std::string transformFailure(std::string_view text) {
    return (countTransformPieces(text) != TransformNumbers().size() ? "Unexpected Transform value "
                                                                    : "Fail to parse Transform value ") +
           std::string(text);
}

bool setPlacement(ovTransformation& transform, const TransformNumbers& numbers) {
    const Wm4::Matrix3<float> rotation = rotationOf(numbers);
    const double determinant = determinantOf(rotation);
    const bool proper = determinant > kMinDeterminant && determinant < kMaxDeterminant;
    if (proper) {
        transform.SetRotate(rotation);
    }
    auto millimetres = [&numbers](size_t index) {
        return static_cast<float>(numbers[index]) * kMillimetresPerMetre;
    };
    transform.SetTranslate(Wm4::Vector3<float>(millimetres(12), millimetres(13), millimetres(14)));
    return proper;
}

}  // namespace ov::plmxml
