#include "ovmesh/output/JsonWriter.h"

#include <utf8.h>

#include <cstdio>
#include <iterator>
#include <ostream>

namespace ov::ovmesh {

std::string jsonString(const std::string& text) {
    std::string valid;
    utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid));
    std::string quoted = "\"";
    for (const char character : valid) {
        if (character == '"' || character == '\\') {
            quoted += '\\';
            quoted += character;
        } else if (static_cast<unsigned char>(character) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(character));
            quoted += escaped;
        } else {
            quoted += character;
        }
    }
    return quoted + "\"";
}

void JsonWriter::separate() {
    if (mAfterKey) {
        mAfterKey = false;
        return;
    }
    if (!mFilled.empty()) {
        if (mFilled.back()) {
            mOut << ',';
        }
        mFilled.back() = true;
    }
}

void JsonWriter::open(char bracket) {
    separate();
    mOut << bracket;
    mFilled.push_back(false);
}

void JsonWriter::close(char bracket) {
    mFilled.pop_back();
    mOut << bracket;
    if (mFilled.empty()) {
        mOut << '\n';
    }
}

void JsonWriter::beginObject() {
    open('{');
}

void JsonWriter::endObject() {
    close('}');
}

void JsonWriter::beginArray() {
    open('[');
}

void JsonWriter::endArray() {
    close(']');
}

void JsonWriter::key(const std::string& name) {
    separate();
    mOut << jsonString(name) << ':';
    mAfterKey = true;
}

void JsonWriter::value(const std::string& text) {
    separate();
    mOut << jsonString(text);
}

void JsonWriter::value(int64_t number) {
    separate();
    mOut << number;
}

void JsonWriter::number(const std::string& digits) {
    separate();
    mOut << digits;
}

void JsonWriter::value(const std::vector<std::string>& texts) {
    beginArray();
    for (const std::string& text : texts) {
        value(text);
    }
    endArray();
}

}  // namespace ov::ovmesh
