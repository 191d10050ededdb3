#pragma once

#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace ov {

enum ovLogType : int {
    ovLogTrace = 1,
    ovLogDiagnostic = 2,  // asked with isLogTypeEnabled before the text is built
    ovLogInfo = 3,
    ovLogWarning = 4,  // a condition the work survives
    ovLogError = 5,    // a failure
};

struct ovLogLine {
    ovLogType type;
    std::string category;  // empty when none was given
    std::string context;   // empty when none was given
    std::string text;
};

// Global log. Lines go to every sink; the host decides where (the tool prints,
// tests capture). Types 4 and 5 are always enabled; lower ones per request.
class ovLog {
public:
    using Sink = std::function<void(const ovLogLine&)>;

    // The log of the process; null when the host has none.
    static ovLog* msInstance;

    bool isLogTypeEnabled(ovLogType type, const char* category = nullptr) const;
    void setMinimumType(ovLogType type) { mMinimumType = type; }
    // Answers an id for removeSink.
    int addSink(Sink sink);
    void removeSink(int id);
    void write(const ovLogLine& line);

private:
    mutable std::mutex mMutex;
    ovLogType mMinimumType = ovLogWarning;
    std::vector<std::pair<int, Sink>> mSinks;
    int mNextSinkId = 1;
};

// Gathers one line by << and hands it to the log when destroyed. With a null
// log nothing is written.
class ovLogObject {
public:
    ovLogObject(ovLogType type, const char* category, ovLog* log, const char* context, bool enabled);
    ~ovLogObject();
    ovLogObject(const ovLogObject&) = delete;
    ovLogObject& operator=(const ovLogObject&) = delete;

    template <typename T>
    ovLogObject& operator<<(const T& value) {
        if (mLog) {
            mText << value;
        }
        return *this;
    }

private:
    ovLogType mType;
    std::string mCategory;
    std::string mContext;
    ovLog* mLog;
    std::ostringstream mText;
};

}  // namespace ov
