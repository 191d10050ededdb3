#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace ov::ovmesh {

// Writes one JSON document to a stream as its parts come: the writer puts the
// commas and the quotes, so that a caller streams a tree of any size without
// building it in memory. Texts are UTF-8; bytes that are not become U+FFFD.
class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out) : mOut(out) {}

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // The name of the next member of the open object.
    void key(const std::string& name);
    void value(const std::string& text);
    void value(const char* text) { value(std::string(text)); }
    void value(int64_t number);
    // A number already written as JSON takes it (e.g. "1.5", "-0.25").
    void number(const std::string& digits);
    void value(const std::vector<std::string>& texts);

private:
    // Before a value or key: the comma when the open container has one already.
    void separate();
    void open(char bracket);
    void close(char bracket);

    std::ostream& mOut;
    // Per open container, whether it holds an entry yet.
    std::vector<bool> mFilled;
    bool mAfterKey = false;
};

// A text as a JSON string, quotes included.
std::string jsonString(const std::string& text);

}  // namespace ov::ovmesh
