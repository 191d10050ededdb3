#include "system/ovLog.h"

#include <algorithm>
#include <locale>

namespace ov {

ovLog* ovLog::msInstance = nullptr;

bool ovLog::isLogTypeEnabled(ovLogType type, const char* /*category*/) const {
    if (type >= ovLogWarning) {
        return true;
    }
    std::lock_guard<std::mutex> lock(mMutex);
    return type >= mMinimumType;
}

int ovLog::addSink(Sink sink) {
    std::lock_guard<std::mutex> lock(mMutex);
    mSinks.emplace_back(mNextSinkId, std::move(sink));
    return mNextSinkId++;
}

void ovLog::removeSink(int id) {
    std::lock_guard<std::mutex> lock(mMutex);
    std::erase_if(mSinks, [id](const auto& entry) { return entry.first == id; });
}

void ovLog::write(const ovLogLine& line) {
    // The sinks run outside the lock so that a sink may itself log or remove a sink.
    std::vector<std::pair<int, Sink>> sinks;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        sinks = mSinks;
    }
    for (const auto& entry : sinks) {
        entry.second(line);
    }
}

// The last flag is the caller's note that it asked isLogTypeEnabled already;
// the type is checked here in any case, so the flag changes nothing.
ovLogObject::ovLogObject(ovLogType type, const char* category, ovLog* log, const char* context, bool)
    : mType(type),
      mCategory(category ? category : ""),
      mContext(context ? context : ""),
      mLog(log && log->isLogTypeEnabled(type, category) ? log : nullptr) {
    // Numbers in log lines read the same whatever locale the host installed.
    mText.imbue(std::locale::classic());
}

ovLogObject::~ovLogObject() {
    if (!mLog) {
        return;
    }
    try {
        mLog->write({mType, std::move(mCategory), std::move(mContext), mText.str()});
    } catch (...) {
        // A failing sink must not take the program down from a destructor; the line is lost.
    }
}

}  // namespace ov
