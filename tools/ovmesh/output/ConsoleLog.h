#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace ov {
class ovLog;
}

namespace ov::ovmesh {

// Shows the library's warnings and errors (log types 4 and 5) on a console
// stream as "warning: ..." and "error: ...", and the tool's own messages the
// same way. Installs a process log when there is none, for as long as it lives.
class ConsoleLog {
public:
    explicit ConsoleLog(std::ostream& stream);
    ~ConsoleLog();
    ConsoleLog(const ConsoleLog&) = delete;
    ConsoleLog& operator=(const ConsoleLog&) = delete;

    void warning(const std::string& text);
    void error(const std::string& text);
    // From here on the library's lines wait, in order, for releaseLibraryLines:
    // errors of work that failed show as errors, those of work that succeeded
    // as warnings, since nothing they said stopped it.
    void holdLibraryLines();
    void releaseLibraryLines(bool workFailed);
    // Called before each message, e.g. to clear a progress bar's line.
    void setBeforeMessage(std::function<void()> hook) { mBeforeMessage = std::move(hook); }

private:
    struct LibraryLine {
        bool warning;
        std::string text;
    };

    void print(const char* prefix, const std::string& text);
    void show(const LibraryLine& line, bool asError);

    std::ostream& mStream;
    std::function<void()> mBeforeMessage;
    ovLog* mLog = nullptr;
    ovLog* mOwnedLog = nullptr;
    int mSinkId = 0;
    std::optional<std::vector<LibraryLine>> mHeldLines;
};

}  // namespace ov::ovmesh
