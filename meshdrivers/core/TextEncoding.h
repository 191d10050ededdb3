#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/ovMeshDriversExport.h"

namespace ov {

enum class TextEncoding { Utf8, Utf16LittleEndian, Utf16BigEndian };

struct DetectedEncoding {
    TextEncoding encoding = TextEncoding::Utf8;
    // Bytes of the byte-order mark to skip; 0 when there is none.
    size_t markSize = 0;
};

// How a text begins tells its encoding: a byte-order mark of UTF-8 or UTF-16,
// or, without one, a zero byte in its first pair (ASCII text in UTF-16).
// Anything else is taken as UTF-8.
OVMESHDRIVERS_API DetectedEncoding detectEncoding(std::string_view start);

// "UTF-16LE" or "UTF-16BE", for messages.
OVMESHDRIVERS_API const char* encodingName(TextEncoding encoding);

// UTF-16 bytes (without their mark) as UTF-8. ReadError naming the encoding
// when the bytes are not UTF-16 (an odd count, an unpaired surrogate).
OVMESHDRIVERS_API std::string utf16ToUtf8(std::string_view bytes, TextEncoding encoding,
                                          const std::string& source);

// A byte of a Windows code page 1252 text (Latin-1 but for 0x80-0x9F),
// which names from Windows systems often are, appended to UTF-8 text.
OVMESHDRIVERS_API void appendWindows1252(unsigned char byte, std::string& utf8);

// A whole text in any of the encodings above as UTF-8 without a mark.
OVMESHDRIVERS_API std::string decodedText(std::string bytes, const std::string& source);

}  // namespace ov
