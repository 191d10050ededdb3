#include "gltf/JsonWriter.h"

#include <charconv>
#include <cmath>

#include "core/Utf8Text.h"

namespace ov::gltf {

void JsonWriter::beginValue(std::string_view key) {
    if (!mHasValue.empty()) {
        if (mHasValue.back()) {
            mText += ',';
        }
        mHasValue.back() = true;
    }
    if (!key.empty()) {
        quoted(key);
        mText += ':';
    }
}

void JsonWriter::beginObject(std::string_view key) {
    beginValue(key);
    mText += '{';
    mHasValue.push_back(false);
}

void JsonWriter::endObject() {
    mText += '}';
    mHasValue.pop_back();
}

void JsonWriter::beginArray(std::string_view key) {
    beginValue(key);
    mText += '[';
    mHasValue.push_back(false);
}

void JsonWriter::endArray() {
    mText += ']';
    mHasValue.pop_back();
}

void JsonWriter::string(std::string_view key, std::string_view text) {
    beginValue(key);
    quoted(text);
}

template <typename Real>
void JsonWriter::real(std::string_view key, Real value) {
    beginValue(key);
    char digits[32];
    const auto end =
        std::to_chars(digits, digits + sizeof digits, std::isfinite(value) ? value : Real(0)).ptr;
    mText.append(digits, end);
}

template <typename Real>
void JsonWriter::reals(std::string_view key, std::span<const Real> values) {
    beginArray(key);
    for (const Real value : values) {
        real({}, value);
    }
    endArray();
}

void JsonWriter::number(std::string_view key, float value) {
    real(key, value);
}

void JsonWriter::number(std::string_view key, double value) {
    real(key, value);
}

void JsonWriter::numbers(std::string_view key, std::span<const float> values) {
    reals(key, values);
}

void JsonWriter::numbers(std::string_view key, std::span<const double> values) {
    reals(key, values);
}

void JsonWriter::integer(std::string_view key, int64_t value) {
    beginValue(key);
    mText += std::to_string(value);
}

void JsonWriter::boolean(std::string_view key, bool value) {
    beginValue(key);
    mText += value ? "true" : "false";
}

void JsonWriter::quoted(std::string_view text) {
    static constexpr char kHexDigits[] = "0123456789abcdef";
    mText += '"';
    forEachCharacter(text, [this](uint32_t c, std::string_view bytes) {
        if (c == kNotUtf8) {
            mText += "\xEF\xBF\xBD";
            ++mReplaced;
        } else if (c == '"' || c == '\\') {
            mText += '\\';
            mText += static_cast<char>(c);
        } else if (c == '\n') {
            mText += "\\n";
        } else if (c == '\t') {
            mText += "\\t";
        } else if (c < 0x20) {
            mText += "\\u00";
            mText += kHexDigits[c >> 4];
            mText += kHexDigits[c & 0x0F];
        } else {
            mText.append(bytes);
        }
    });
    mText += '"';
}

}  // namespace ov::gltf
