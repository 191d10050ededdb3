#include "system/ovJsonWriter.h"

#include <charconv>
#include <cmath>
#include <ostream>

#include "system/ovUtf8.h"

namespace ov {

void JsonWriter::put(std::string_view bytes) {
    if (mOut != nullptr) {
        mOut->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    } else {
        mText.append(bytes);
    }
}

void JsonWriter::beginValue(std::string_view key) {
    if (!mHasValue.empty()) {
        if (mHasValue.back()) {
            put(",");
        }
        mHasValue.back() = true;
    }
    if (!key.empty()) {
        quoted(key);
        put(":");
    }
}

void JsonWriter::open(std::string_view key, char bracket) {
    beginValue(key);
    put(std::string_view(&bracket, 1));
    mHasValue.push_back(false);
}

void JsonWriter::close(char bracket) {
    put(std::string_view(&bracket, 1));
    mHasValue.pop_back();
}

void JsonWriter::beginObject(std::string_view key) {
    open(key, '{');
}

void JsonWriter::endObject() {
    close('}');
}

void JsonWriter::beginArray(std::string_view key) {
    open(key, '[');
}

void JsonWriter::endArray() {
    close(']');
}

void JsonWriter::string(std::string_view key, std::string_view text) {
    beginValue(key);
    quoted(text);
}

void JsonWriter::strings(std::string_view key, const std::vector<std::string>& texts) {
    beginArray(key);
    for (const std::string& text : texts) {
        string({}, text);
    }
    endArray();
}

template <typename Real>
void JsonWriter::real(std::string_view key, Real value) {
    char digits[32];
    const auto end =
        std::to_chars(digits, digits + sizeof digits, std::isfinite(value) ? value : Real(0)).ptr;
    numberText(key, std::string_view(digits, static_cast<size_t>(end - digits)));
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

void JsonWriter::numberText(std::string_view key, std::string_view digits) {
    beginValue(key);
    put(digits);
}

void JsonWriter::integer(std::string_view key, int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    numberText(key, std::string_view(digits, static_cast<size_t>(end - digits)));
}

void JsonWriter::boolean(std::string_view key, bool value) {
    numberText(key, value ? "true" : "false");
}

void JsonWriter::quoted(std::string_view text) {
    static constexpr char kHexDigits[] = "0123456789abcdef";
    std::string escaped = "\"";
    forEachCharacter(text, [this, &escaped](uint32_t c, std::string_view bytes) {
        if (c == kNotUtf8) {
            appendUtf8(kReplacementCharacter, escaped);
            ++mReplaced;
        } else if (c == '"' || c == '\\') {
            escaped += '\\';
            escaped += static_cast<char>(c);
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\t') {
            escaped += "\\t";
        } else if (c < 0x20) {
            escaped += "\\u00";
            escaped += kHexDigits[c >> 4];
            escaped += kHexDigits[c & 0x0F];
        } else {
            escaped.append(bytes);
        }
    });
    escaped += '"';
    put(escaped);
}

}  // namespace ov
