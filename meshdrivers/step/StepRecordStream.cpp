#include "step/StepRecordStream.h"

#include <algorithm>
#include <charconv>

namespace ov::step {

namespace {

// The buffer goes to the device once it holds this much.
constexpr size_t kFlushSize = 1 << 16;

}  // namespace

void appendReal(std::string& out, float value) {
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
    mBuffer.push_back('(');
    appendReal(xyz[0]);
    mBuffer.push_back(',');
    appendReal(xyz[1]);
    mBuffer.push_back(',');
    appendReal(xyz[2]);
    mBuffer.push_back(')');
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
