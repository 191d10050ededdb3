#include "step/StepRecordStream.h"

#include <algorithm>
#include <charconv>

namespace ov::step {

namespace {

// The buffer goes to the device once it holds this much.
constexpr size_t kFlushSize = 1 << 16;

template <typename Real>
void appendShortestReal(std::string& out, Real value) {
    char text[32];
    char* end = std::to_chars(text, text + sizeof text, value).ptr;
    char* exponent = std::find(text, end, 'e');
    const bool hasPoint = std::find(text, exponent, '.') != exponent;
    out.append(text, exponent);
    if (!hasPoint) {
        out.push_back('.');
    }
    if (exponent != end) {
        out.push_back('E');
        out.append(exponent + 1, end);
    }
}

template <typename Real>
void appendTripleTo(std::string& out, const Wm4::Vector3<Real>& xyz) {
    out.push_back('(');
    for (size_t i = 0; i < 3; ++i) {
        out += i == 0 ? "" : ",";
        appendShortestReal(out, xyz[i]);
    }
    out.push_back(')');
}

}  // namespace

void appendReal(std::string& out, float value) {
    appendShortestReal(out, value);
}

void appendReal(std::string& out, double value) {
    appendShortestReal(out, value);
}

double readBack(float value) {
    std::string text;
    appendShortestReal(text, value);
    std::replace(text.begin(), text.end(), 'E', 'e');
    double read = value;
    std::from_chars(text.data(), text.data() + text.size(), read);
    return read;
}

uint64_t StepRecordStream::beginRecord(const char* upperName) {
    const uint64_t id = mWriter.reserveEntityIds(1);
    if (mCount++ == 0) {
        mFirstId = id;
    }
    appendReference(id);
    mBuffer.push_back('=');
    mBuffer += upperName;
    mBuffer.push_back('(');
    return id;
}

void StepRecordStream::endRecord() {
    mBuffer += ");\r\n";
}

void StepRecordStream::appendReference(uint64_t id) {
    mBuffer.push_back('#');
    appendInteger(id);
}

// Lists of a million values are one record: the buffer goes out in the
// middle of one as well.
void StepRecordStream::appendInteger(uint64_t value) {
    char text[24];
    mBuffer.append(text, std::to_chars(text, text + sizeof text, value).ptr);
    flushWhenFull();
}

void StepRecordStream::appendString(const std::string& text) {
    // Text that is not UTF-8 keeps what converted; the writer logs why.
    Part21Writer::Utf8ToPart21Encoding(text, mEncoded);
    mBuffer.push_back('\'');
    mBuffer += mEncoded;
    mBuffer.push_back('\'');
}

void StepRecordStream::appendTriple(const Wm4::Vector3f& xyz) {
    appendTripleTo(mBuffer, xyz);
    flushWhenFull();
}

void StepRecordStream::appendTriple(const Wm4::Vector3d& xyz) {
    appendTripleTo(mBuffer, xyz);
    flushWhenFull();
}

bool StepRecordStream::flush() {
    const bool written = mWriter.writeFormattedRecords(mBuffer.data(), mBuffer.size(), mFirstId, mCount);
    mBuffer.clear();
    mCount = 0;
    return written;
}

void StepRecordStream::flushWhenFull() {
    if (mBuffer.size() >= kFlushSize) {
        flush();
    }
}

}  // namespace ov::step
