#pragma once

// JSON text written as its parts come: the writer puts the commas, the quotes
// and the escapes. Into a string (text()) when the length must be known before
// the text is placed, as in a binary container; straight to a stream when the
// document may be of any size.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ov {

class JsonWriter {
public:
    JsonWriter() = default;
    explicit JsonWriter(std::ostream& out) : mOut(&out) {}

    // Each value is a member of the open object (with key) or an element of
    // the open array or the document itself (key empty).
    void beginObject(std::string_view key = {});
    void endObject();
    void beginArray(std::string_view key = {});
    void endArray();

    // Texts are UTF-8; each byte that is not becomes U+FFFD and is counted.
    void string(std::string_view key, std::string_view text);
    void strings(std::string_view key, const std::vector<std::string>& texts);
    // In the fewest digits that read back as the same float (double); a value
    // that is not finite is written as 0, which JSON can hold.
    void number(std::string_view key, float value);
    void number(std::string_view key, double value);
    void numbers(std::string_view key, std::span<const float> values);
    void numbers(std::string_view key, std::span<const double> values);
    // A number the caller has already written as JSON (e.g. "1.5", "-0.25").
    void numberText(std::string_view key, std::string_view digits);
    void integer(std::string_view key, int64_t value);
    void boolean(std::string_view key, bool value);

    // The text written so far; empty when writing to a stream.
    const std::string& text() const { return mText; }
    size_t replacedCharacters() const { return mReplaced; }

private:
    // The separator before a value, and its key when inside an object.
    void beginValue(std::string_view key);
    void open(std::string_view key, char bracket);
    void close(char bracket);
    void quoted(std::string_view text);
    template <typename Real>
    void real(std::string_view key, Real value);
    template <typename Real>
    void reals(std::string_view key, std::span<const Real> values);
    void put(std::string_view bytes);

    std::ostream* mOut = nullptr;
    std::string mText;
    // Per open container: whether a value was written in it.
    std::vector<bool> mHasValue;
    size_t mReplaced = 0;
};

}  // namespace ov
