#pragma once

// What the parts of the COLLADA writer share: the progress step that may
// cancel, the diagnostic log lines, UTF-8 paths and a walk over UTF-8 text.

#include <utf8.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "system/ovLog.h"
#include "system/ovProgressNotifier.h"

namespace ov::collada {

// A reference to the element whose id is the given parts joined: "#" and the id.
template <typename... Parts>
std::string referenceTo(const Parts&... parts) {
    std::string reference = "#";
    (reference.append(parts), ...);
    return reference;
}

// Advances the notifier (if any) by amount; answers true when the user
// cancelled.
inline bool advanceAndCheckCancel(ovProgressNotifierInterface* progress, double amount) {
    if (!progress) {
        return false;
    }
    progress->advanceStep(amount);
    return progress->isCanceled();
}

// A diagnostic line under the empty category, built only when someone reads it.
template <typename... Parts>
void logDiagnostic(const Parts&... parts) {
    ovLog* log = ovLog::msInstance;
    if (log && !log->isLogTypeEnabled(ovLogDiagnostic, "")) {
        return;
    }
    ovLogObject line(ovLogDiagnostic, "", log, nullptr, false);
    (line << ... << parts);
}

// The path type of the file system for a UTF-8 path, and back: the system
// gets the wide path where it wants one.
inline std::filesystem::path pathOfUtf8(std::string_view utf8Path) {
    return std::filesystem::path(std::u8string(utf8Path.begin(), utf8Path.end()));
}

inline std::string utf8OfPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// What forEachCharacter passes for a byte that does not begin a UTF-8 sequence.
constexpr uint32_t kNotUtf8 = 0xFFFFFFFF;

// Calls visit(code point, its bytes) for each character of text. A byte that
// does not begin a valid UTF-8 sequence (overlong forms and surrogates
// included) is visited alone, as kNotUtf8.
template <typename Visit>
void forEachCharacter(std::string_view text, Visit visit) {
    auto at = text.begin();
    while (at != text.end()) {
        const auto invalid = utf8::find_invalid(at, text.end());
        while (at != invalid) {
            const auto start = at;
            const uint32_t character = utf8::unchecked::next(at);
            visit(character, std::string_view(start, at));
        }
        if (at != text.end()) {
            visit(kNotUtf8, std::string_view(at, at + 1));
            ++at;
        }
    }
}

}  // namespace ov::collada
