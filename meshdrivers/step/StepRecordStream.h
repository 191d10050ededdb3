#pragma once

// Data records formatted straight into a buffer that goes to the writer in
// large pieces: for mesh geometry, where a value map per record would cost
// more than the record's text.

#include <cstdint>
#include <string>
#include <vector>

#include "step/Part21Writer.h"
#include "wm4/Wm4Foundation.h"

namespace ov::step {

// Appends the shortest text that reads back to value, as an exchange-file
// real: with a decimal point, exponent "E". Finite values only.
void appendReal(std::string& out, float value);
void appendReal(std::string& out, double value);
// The double a reader takes from the text appendReal writes for value.
double readBack(float value);

class StepRecordStream {
public:
    explicit StepRecordStream(Part21Writer& writer) : mWriter(writer) {}

    // "#id=NAME(" under a fresh id, which it answers; the record's values
    // follow through the append functions, then endRecord.
    uint64_t beginRecord(const char* upperName);
    void endRecord();

    void appendReference(uint64_t id);
    void appendInteger(uint64_t value);
    void appendReal(float value) { step::appendReal(mBuffer, value); }
    void appendText(const char* text) { mBuffer += text; }
    void appendChar(char c) { mBuffer.push_back(c); }
    // A UTF-8 text as an exchange-file string, apostrophes included.
    void appendString(const std::string& text);
    // "(x,y,z)"
    void appendTriple(const Wm4::Vector3f& xyz);
    void appendTriple(const Wm4::Vector3d& xyz);

    // Hands what is buffered to the writer; false once the writer failed.
    bool flush();
    bool failed() const { return mWriter.isWriteError(); }

private:
    void flushWhenFull();

    Part21Writer& mWriter;
    std::string mBuffer;
    std::string mEncoded;
    // Records begun since the last flush.
    uint64_t mFirstId = 0;
    uint64_t mCount = 0;
};

}  // namespace ov::step
