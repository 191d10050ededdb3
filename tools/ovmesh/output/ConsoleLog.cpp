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
        if (line.type == ovLogWarning) {
            warning(line.text);
        } else if (line.type == ovLogError) {
            error(line.text);
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

void ConsoleLog::print(const char* prefix, const std::string& text) {
    if (mBeforeMessage) {
        mBeforeMessage();
    }
    mStream << prefix << text << '\n' << std::flush;
}

}  // namespace ov::ovmesh
