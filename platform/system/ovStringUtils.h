#pragma once

#include <cstdint>
#include <locale>
#include <string>
#include <string_view>

namespace ov {

enum ovCharSet : int { ovCharSetLocal = 0, ovCharSetUtf8 = 1 };

// Locale-free text helpers. Numbers are always written and read with "." as
// the decimal mark, whatever the process locale.
class ovStringUtils {
public:
    enum FloatFormat : int { General = 0, Fixed = 1, Scientific = 2 };

    // The classic "C" locale, for parsing numbers.
    static const std::locale msCLocale;
    // Stream locale for formatting reals: full stop, no digit grouping.
    static const std::locale msCplusLocale;

    static bool Contains(std::string_view text, std::string_view part, bool caseSensitive = true);
    static bool StartsWith(std::string_view text, std::string_view prefix);
    static bool endsWith(std::string_view text, std::string_view suffix);
    // Reads true/false, 1/0, yes/no, on/off in any case, surrounding blanks
    // ignored. Answers false (value unchanged) for anything else.
    static bool parseBool(std::string_view text, bool& value);
    // In place; answers the number of replacements. An empty `from` replaces nothing.
    static size_t ReplaceAllOccurrences(std::string& text, std::string_view from, std::string_view to);
    // In place: ASCII white space removed at both ends.
    static void trim(std::string& text);
    // The part of text between the blanks (ASCII white space unless told) at its ends.
    static std::string_view trimmed(std::string_view text, std::string_view blanks = " \t\n\r\f\v");
    // In place: ASCII letters to upper case.
    static void toUpper(std::string& text);
    // In place: ASCII letters to lower case.
    static void toLower(std::string& text);
    // Copies with ASCII letters in upper (lower) case.
    static std::string uppered(std::string_view text);
    static std::string lowered(std::string_view text);
    // &, <, >, " and ' as entities; other bytes unchanged.
    static std::string EscapeXmlString(std::string_view text);
    // Whether XML 1.0 documents may hold the code point (kNotUtf8 it may not).
    static bool IsXmlCharacter(uint32_t c);
    // Text for an element's content: unchanged when it already is well-formed
    // character data (its references included), so that a caller who escapes
    // keeps its bytes; otherwise escaped, with invalid UTF-8 and characters
    // XML cannot hold as U+FFFD.
    static std::string ToXmlCharacterData(std::string_view text);
    // The text with each character XML cannot hold, and each byte that is not
    // UTF-8, as U+FFFD (counted into replaced when given); nothing escaped.
    static std::string ToXmlCharacters(std::string_view text, size_t* replaced = nullptr);
    // UTF-8 (charSet 1) or the local narrow set (0) to a wide string. Invalid
    // UTF-8 sequences become U+FFFD.
    static std::wstring convertToUnicode(std::string_view text, int charSet);

    // Like stream insertion with the given precision: General is the %g form
    // (shortest of fixed/scientific, trailing zeros removed), Fixed is %f,
    // Scientific is %e.
    static std::string fromFloat(double value, int precision, int format);
    // Decimal, left-padded with zeros to at least minDigits digits.
    static std::string fromInt(int64_t value, int minDigits);
    static std::string fromUInt(uint32_t value, int minDigits);
    static std::string fromUInt64(uint64_t value, int minDigits);
};

// Paths are UTF-8 texts; both "/" and "\\" separate folders.
class ovDirUtils {
public:
    // True for an existing file that is not a folder.
    static bool FileExistsUtf8(const std::string& path);
    static bool FolderExistsUtf8(const std::string& path);
    // errorText, when given, receives the reason of a failure.
    static bool RemoveFileUtf8(const std::string& path, std::string* errorText);
    // The file name without folder; without its last extension unless withExtension.
    static std::string ExtractFileBaseName(const std::string& path, bool withExtension = false);
    // The text after the last "." of the file name ("" when none), lower-cased
    // when lowerCase; with minLength > 0, an extension shorter than that answers "".
    static std::string ExtractFileExtension(const std::string& path, bool lowerCase, int minLength);
    // The folder part without the trailing separator ("" for a bare file name).
    static std::string ExtractFolder(const std::string& path);
    // folder + "/" + name, without doubling a separator; an empty folder gives name.
    static std::string JoinPath(const std::string& folder, const std::string& name);
};

}  // namespace ov
