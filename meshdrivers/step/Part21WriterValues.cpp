// How attribute values become exchange-file text: numbers, strings in the
// exchange-file character encoding, vectors, lists and the tokens carried as
// Part21WriterUserData.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <typeinfo>

#include <utf8.h>

#include "step/ExactReal.h"
#include "step/Part21Writer.h"
#include "step/Part21WriterLog.h"

namespace ov::step {

namespace {

// Every real is written with this many significant digits, so that the text
// holds the exact binary value.
constexpr int kRealPrecision = 99;

// The bytes a string holds as they are: printable ASCII except the apostrophe
// and the reverse solidus.
constexpr std::array<bool, 256> kPlainPart21Bytes = [] {
    std::array<bool, 256> plain{};
    for (int byte = 0x20; byte <= 0x7E; ++byte) {
        plain[static_cast<size_t>(byte)] = byte != '\'' && byte != '\\';
    }
    return plain;
}();

bool isPlainPart21Char(char byte) {
    return kPlainPart21Bytes[static_cast<unsigned char>(byte)];
}

// Whether all eight bytes from `bytes` on are plain, found for all of them
// at once: a byte's high bit is set in one of the terms when the byte is below
// the space, the delete character or above, or one of the escaped characters.
bool isPlainWord(const char* bytes) {
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    constexpr uint64_t kOnes = 0x0101010101010101u;
    constexpr uint64_t kHighBits = 0x8080808080808080u;
    const auto hasByteBelow = [](uint64_t value, uint64_t limit) {
        return (value - kOnes * limit) & ~value & kHighBits;
    };
    const uint64_t nonAscii = word & kHighBits;
    const uint64_t deleteCharacter = (word + kOnes) & kHighBits;
    const uint64_t control = hasByteBelow(word, ' ');
    const uint64_t apostrophe = hasByteBelow(word ^ (kOnes * '\''), 1);
    const uint64_t reverseSolidus = hasByteBelow(word ^ (kOnes * '\\'), 1);
    return (nonAscii | deleteCharacter | control | apostrophe | reverseSolidus) == 0;
}

// Almost every token is of this very class, which a comparison of type
// descriptors confirms far faster than a cast that searches the hierarchy.
const Part21WriterUserData* asPart21Token(const ovVariant::UserDataInterface* userData) {
    if (userData != nullptr && &typeid(*userData) == &typeid(Part21WriterUserData)) {
        return static_cast<const Part21WriterUserData*>(userData);
    }
    return dynamic_cast<const Part21WriterUserData*>(userData);
}

// Integers in this range convert to double and back exactly.
constexpr double kExactIntegerLimit = 9007199254740992.0;  // 2^53

bool isExactInteger(double value) {
    return std::fabs(value) < kExactIntegerLimit && value == std::trunc(value) &&
           !(value == 0 && std::signbit(value));
}

void appendHex(std::string& out, uint32_t value, int digits) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out.push_back(kHexDigits[(value >> shift) & 0xFu]);
    }
}

void appendPart21Char(uint32_t codePoint, std::string& out) {
    if (codePoint == '\'') {
        out += "''";
    } else if (codePoint == '\\') {
        out += "\\\\";
    } else if (codePoint >= 0x20 && codePoint <= 0x7E) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint >= 0x10000) {
        out += "\\X4\\";
        appendHex(out, codePoint, 8);
        out += "\\X0\\";
    } else {
        out += "\\X2\\";
        appendHex(out, codePoint, 4);
        out += "\\X0\\";
    }
}

}  // namespace

bool Part21Writer::writeValue(const ovVariant& value) {
    switch (value.getType()) {
        case ovVariant::Integer:
            return writeInteger(value.toInteger());
        case ovVariant::Real:
            return writeDouble(value.toReal());
        case ovVariant::String:
            return writeRawStr("'", 1) && writeUtf8Str(value.getString()) && writeRawStr("'", 1);
        case ovVariant::Boolean:
            if (spelling.logicalBooleans) {
                return writeRawStr(value.toBool() ? ".T." : ".F.", 3);
            }
            return writeRawStr(value.toBool() ? "1" : "0", 1);
        case ovVariant::Vec2d:
            return writeVector(value.getVec2d(), 2);
        case ovVariant::Vec3d:
            return writeVector(value.getVec3d(), 3);
        case ovVariant::Vec4d:
            return writeVector(value.getVec4d(), 4);
        case ovVariant::List:
            return writeList(value.getList());
        case ovVariant::UserData:
            return writeUserData(value.getUserData());
        default:
            return false;
    }
}

bool Part21Writer::writeUserData(const ovVariant::UserDataInterface* userData) {
    const auto* token = asPart21Token(userData);
    if (token == nullptr) {
        part21ErrorLine() << "Invalid user data";
        return false;
    }
    switch (token->getType()) {
        case Part21WriterUserData::Ref: {
            const uint64_t ref = token->getRef();
            if (ref == 0 || ref >= nextEntityId) {
                part21ErrorLine() << "Invalid ref " << ref << " in value";
                return false;
            }
            char* const begin = formatBuffer.data();
            begin[0] = '#';
            char* const end = std::to_chars(begin + 1, begin + formatBuffer.size(), ref).ptr;
            return writeRawStr(begin, static_cast<size_t>(end - begin));
        }
        case Part21WriterUserData::EnumValue:
            return writeRawStr(".", 1) && writeRawStr(token->getEnumValue()) && writeRawStr(".", 1);
        case Part21WriterUserData::DotIdentifier:
            return writeRawStr("IDENTIFIER('.')", 15);
        case Part21WriterUserData::TypedReal:
            return writeRawStr(token->getEnumValue()) && writeRawStr("(", 1) &&
                   writeDouble(token->getReal()) && writeRawStr(")", 1);
        case Part21WriterUserData::Undefined:
            break;
    }
    return false;
}

bool Part21Writer::writeVector(const double* components, int count) {
    if (!writeRawStr("(", 1)) {
        return false;
    }
    for (int index = 0; index < count; ++index) {
        if ((index > 0 && !writeRawStr(",", 1)) || !writeDouble(components[index])) {
            return false;
        }
    }
    return writeRawStr(")", 1);
}

bool Part21Writer::writeList(const ovVariantListImpl& list) {
    if (!writeRawStr("(", 1)) {
        return false;
    }
    bool first = true;
    for (const ovVariant& element : list) {
        if ((!first && !writeRawStr(",", 1)) || !writeValue(element)) {
            return false;
        }
        first = false;
    }
    return writeRawStr(")", 1);
}

bool Part21Writer::writeInteger(int64_t value) {
    char* const begin = formatBuffer.data();
    char* const end = std::to_chars(begin, begin + formatBuffer.size(), value).ptr;
    return writeRawStr(begin, static_cast<size_t>(end - begin));
}

bool Part21Writer::writeDouble(double value) {
    if (spelling.shortestReals) {
        return writeShortestReal(value);
    }
    if (std::isnan(value)) {
        return writeRawStr("nan", 3);
    }
    // Infinity has no exchange-file form: the largest finite double stands
    // for it, at the six digits a default stream would give it.
    if (std::isinf(value)) {
        return value > 0 ? writeRawStr("1.79769E+308", 12) : writeRawStr("-1.79769E+308", 13);
    }
    // Whole numbers, frequent in coordinates and directions, take the cheaper
    // integer conversion; the text is the same.
    if (isExactInteger(value)) {
        return writeInteger(static_cast<int64_t>(value));
    }
    char* const begin = formatBuffer.data();
    if (char* const end = writeExactReal(value, begin)) {
        return writeRawStr(begin, static_cast<size_t>(end - begin));
    }
    // The general format at this precision is that of "%.99G": locale-free,
    // shortest of fixed and scientific, trailing zeros dropped.
    char* const end =
        std::to_chars(begin, begin + formatBuffer.size(), value, std::chars_format::general, kRealPrecision)
            .ptr;
    std::replace(begin, end, 'e', 'E');
    return writeRawStr(begin, static_cast<size_t>(end - begin));
}

bool Part21Writer::writeShortestReal(double value) {
    if (!std::isfinite(value)) {
        part21ErrorLine() << "A real is not a finite number and has no exchange-file form";
        return false;
    }
    char* const begin = formatBuffer.data();
    const std::string_view text = shortestReal(value, begin, formatBuffer.size());
    return writeRawStr(text.data(), text.size());
}

bool Part21Writer::writeUtf8Str(const std::string& text) {
    // Most texts need no escaping: write them as they stand.
    if (isPlainPart21Text(text)) {
        return writeRawStr(text);
    }
    if (!Utf8ToPart21Encoding(text, encodingScratch)) {
        return false;
    }
    return writeRawStr(encodingScratch);
}

bool Part21Writer::isPlainPart21Text(const std::string& text) {
    const char* const data = text.data();
    const size_t size = text.size();
    if (size < sizeof(uint64_t)) {
        return std::all_of(data, data + size, isPlainPart21Char);
    }
    // Eight bytes at a time, the last word ending with the text and
    // overlapping the one before it.
    for (size_t offset = 0; offset + sizeof(uint64_t) < size; offset += sizeof(uint64_t)) {
        if (!isPlainWord(data + offset)) {
            return false;
        }
    }
    return isPlainWord(data + size - sizeof(uint64_t));
}

bool Part21Writer::Utf8ToPart21Encoding(const std::string& in, std::string& out) {
    out.clear();
    out.reserve(in.size());
    try {
        auto position = in.begin();
        while (position != in.end()) {
            appendPart21Char(utf8::next(position, in.end()), out);
        }
    } catch (const utf8::exception& error) {
        part21ErrorLine() << "Utf8ToPart21Encoding, exception " << error.what();
        return false;
    } catch (...) {
        part21ErrorLine() << "Utf8ToPart21Encoding, unknown exception";
        return false;
    }
    return true;
}

}  // namespace ov::step
