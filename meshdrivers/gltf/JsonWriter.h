#pragma once

// A compact JSON text built in memory: the document part of a glTF file is
// small beside its binary data, and its length must be known before a .glb
// is written.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ov::gltf {

class JsonWriter {
public:
    void beginObject(std::string_view key = {});
    void endObject();
    void beginArray(std::string_view key = {});
    void endArray();

    // A member of the open object (with key) or an element of the open array
    // (key empty). Numbers are written in the fewest digits that read back as
    // the same float (double); a value that is not finite is written as 0.
    void string(std::string_view key, std::string_view text);
    void number(std::string_view key, float value);
    void number(std::string_view key, double value);
    void integer(std::string_view key, int64_t value);
    void boolean(std::string_view key, bool value);
    void numbers(std::string_view key, std::span<const float> values);
    void numbers(std::string_view key, std::span<const double> values);

    const std::string& text() const { return mText; }
    // Characters that JSON text cannot hold as they stood (bytes that are not
    // UTF-8) and were written as U+FFFD.
    size_t replacedCharacters() const { return mReplaced; }

private:
    // The separator before a value, and its key when inside an object.
    void beginValue(std::string_view key);
    void quoted(std::string_view text);
    template <typename Real>
    void real(std::string_view key, Real value);
    template <typename Real>
    void reals(std::string_view key, std::span<const Real> values);

    std::string mText;
    // Per open container: whether a value was written in it.
    std::vector<bool> mHasValue;
    size_t mReplaced = 0;
};

}  // namespace ov::gltf
