#include "ovmesh/output/ConsoleLog.h"

#include <ostream>

#include "system/ovLog.h"

namespace ov::ovmesh {

ConsoleLog::ConsoleLog(std::ostream& stream) : mStream(stream) {
    if (ovLog::msInstance == nullptr) {
        mOwnedLog = new ovLog;
        ovLog::msInstance = mOwnedLog;
    }
    mLog = ovLog::msInstance;
    mSinkId = mLog->addSink([this](const ovLogLine& line) {
        if (line.type != ovLogWarning && line.type != ovLogError) {
            return;
        }
        const LibraryLine shown{line.type == ovLogWarning, line.text};
        if (mHeldLines) {
            mHeldLines->push_back(shown);
        } else {
            show(shown, true);
        }
    });
}

ConsoleLog::~ConsoleLog() {
    mLog->removeSink(mSinkId);
    if (mOwnedLog != nullptr) {
        if (ovLog::msInstance == mOwnedLog) {
            ovLog::msInstance = nullptr;
        }
        delete mOwnedLog;
    }
}

void ConsoleLog::warning(const std::string& text) {
    print("warning: ", text);
}

void ConsoleLog::error(const std::string& text) {
    print("error: ", text);
}

void ConsoleLog::holdLibraryLines() {
    mHeldLines.emplace();
}

void ConsoleLog::releaseLibraryLines(bool workFailed) {
    if (!mHeldLines) {
        return;
    }
    const std::vector<LibraryLine> held = std::move(*mHeldLines);
    mHeldLines.reset();
    for (const LibraryLine& line : held) {
        show(line, workFailed);
    }
}

void ConsoleLog::show(const LibraryLine& line, bool asError) {
    if (line.warning || !asError) {
        warning(line.text);
    } else {
        error(line.text);
    }
}

void ConsoleLog::print(const char* prefix, const std::string& text) {
    if (mBeforeMessage) {
        mBeforeMessage();
    }
    mStream << prefix << text << '\n' << std::flush;
}

}  // namespace ov::ovmesh
