#pragma once

// Scenes, notifiers and outside readers for the tests of the line-drawing
// writers.

#include <cstdint>
#include <locale>
#include <string>
#include <vector>

#include "core/ovVectorialMetadata.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovGeometry.h"
#include "scenegraph/ovSpatial.h"
#include "support/TestSupport.h"
#include "system/ovSystemUtils.h"

namespace ov::test {

// A page whose projection and page matrix are identity and whose offset is
// zero: the world point (x, y, z) lands at (x, y).
ovPointer<ovVectorialMetadata> makeIdentityPage();

// A line through points, with its segments given as index pairs.
ovPointer<ovLine> makeLine(const std::vector<Wm4::Vector3f>& points, const std::vector<int>& indices);

// A node carrying page (when not null) with the children attached in order.
ovPointer<ovNode> makeRoot(ovVectorialMetadata* page, const std::vector<ovSpatial*>& children = {});

// The drawing of the golden files: a page with a perspective projection, a
// 2-D mapping that uses all six of its numbers, a title and a description; a
// strip of three segments under a moved node, a line of two separate
// segments, and a triangle mesh that drawings ignore.
ovPointer<ovNode> makeSampleDrawing();

inline ovObjectList listOf(ovObject* object) {
    return {ovPointer<ovObject>(object)};
}

// Drops the CPU copies of a line's buffers, optionally making the store unable
// to give them back.
void makeNonResident(const ovLine& line, bool reloadable);

// Records the calls a writer makes as texts ("group 2 6", "step 6 1", "end")
// and answers isCanceled true from its cancelFrom-th call on (counted from 1;
// 0 never cancels).
class RecordingProgress : public ovProgressNotifierInterface {
public:
    explicit RecordingProgress(int cancelFrom = 0) : mCancelFrom(cancelFrom) {}

    bool isCanceled() override;
    void beginStep(double amount, uint32_t stepIndex) override;
    void advanceStep(double amount) override;

    const std::vector<std::string>& calls() const { return mCalls; }
    int cancelQuestions() const { return mQuestions; }

protected:
    void onStepGroupBegin(uint32_t stepCount, double totalAmount) override;
    void onStepGroupEnd() override;

private:
    int mCancelFrom;
    int mQuestions = 0;
    std::vector<std::string> mCalls;
};

struct SaveResult {
    bool saved = false;
    std::string text;
};

// Saves objects through the driver's device form onto a memory device.
SaveResult saveToMemory(ovCoreMeshDriver& driver, const ovObjectList& objects,
                        ovProgressNotifierInterface* progress = nullptr, const SaveMeshOptions& options = {});

// Fixes what writers put in their headers while it lives: the default
// FixedClock and the software version "ovmesh-test 1.0".
class FixedWriterIdentity {
public:
    FixedWriterIdentity();
    ~FixedWriterIdentity();
    FixedWriterIdentity(const FixedWriterIdentity&) = delete;
    FixedWriterIdentity& operator=(const FixedWriterIdentity&) = delete;

private:
    FixedClock mClock;
    SoftwareVersionInfoForStream mPreviousVersion;
};

// Compares text with the golden file tests/data/<relativePath>. With
// OV_UPDATE_GOLDEN set in the environment the golden file is rewritten.
void expectGolden(const std::string& text, const std::string& relativePath);

// Makes a locale the process's global one (C and C++) while it lives, as a
// host application might. available() tells whether it is installed.
class GlobalLocale {
public:
    explicit GlobalLocale(const char* name);
    ~GlobalLocale();
    GlobalLocale(const GlobalLocale&) = delete;
    GlobalLocale& operator=(const GlobalLocale&) = delete;
    bool available() const { return mAvailable; }

private:
    bool mAvailable = false;
    std::locale mPrevious;
    std::string mPreviousC;
};

struct CommandResult {
    int status = -1;
    std::string output;  // standard output and error together
};

CommandResult runCommand(const std::string& command);
// Whether an executable is found on the search path (or at that path).
bool commandExists(const std::string& name);

// Number of occurrences of needle in text.
size_t countOf(const std::string& text, const std::string& needle);

}  // namespace ov::test
