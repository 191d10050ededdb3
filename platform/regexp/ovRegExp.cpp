#define PCRE2_CODE_UNIT_WIDTH 8
#include "regexp/ovRegExp.h"

#include <pcre2.h>

#include "system/ovLibInitCounter.h"

namespace ov {

namespace {

// Generous for legitimate patterns over multi-megabyte texts, small enough that
// a catastrophic backtrack fails within a fraction of a second.
constexpr uint32_t kDefaultMatchLimit = 10'000'000;
// Memory the interpreter may take for its backtracking frames, in KiB.
constexpr uint32_t kHeapLimitKiB = 256 * 1024;
// The JIT stack starts small and grows up to its maximum on demand.
constexpr size_t kJitStackStartSize = 32 * 1024;
constexpr size_t kJitStackMaxSize = 8 * 1024 * 1024;

LibInitCounter& initCounter() {
    static LibInitCounter counter("regexp", true);
    return counter;
}

struct CodeDeleter {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataDeleter {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct MatchContextDeleter {
    void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct JitStackDeleter {
    void operator()(pcre2_jit_stack* stack) const { pcre2_jit_stack_free(stack); }
};

std::string errorText(int code) {
    PCRE2_UCHAR buffer[256];
    const int length = pcre2_get_error_message(code, buffer, sizeof(buffer));
    if (length < 0) {
        return "regular expression error " + std::to_string(code);
    }
    return std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(length));
}

bool isUtf8Continuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

}  // namespace

void initializeRegExp() {
    initCounter().incrementInitCounter();
}

void terminateRegExp() {
    initCounter().decrementInitCounter();
}

struct ovRegExp::Impl {
    std::string pattern;
    bool caseInsensitive = false;
    bool utf = false;
    bool minimal = false;
    std::unique_ptr<pcre2_code, CodeDeleter> code;
    std::unique_ptr<pcre2_match_data, MatchDataDeleter> matchData;
    std::unique_ptr<pcre2_match_context, MatchContextDeleter> matchContext;
    std::unique_ptr<pcre2_jit_stack, JitStackDeleter> jitStack;
    int captureCount = 0;
    std::string lastError;
    ovRegExpMatches matches;

    void createMatchContext(uint32_t matchLimit);
    void compile();
    void compileJit();
    // pcre2_match's answer for one search from offset.
    int match(const std::string& text, size_t offset);
    void storeCaptures(const std::string& text, int matchResult);
    size_t nextCharacter(const std::string& text, size_t offset) const;
};

void ovRegExp::Impl::createMatchContext(uint32_t matchLimit) {
    matchContext.reset(pcre2_match_context_create(nullptr));
    pcre2_set_match_limit(matchContext.get(), matchLimit);
    pcre2_set_depth_limit(matchContext.get(), matchLimit);
    pcre2_set_heap_limit(matchContext.get(), kHeapLimitKiB);
}

void ovRegExp::Impl::compile() {
    uint32_t options = 0;
    if (caseInsensitive) {
        options |= PCRE2_CASELESS;
    }
    if (utf) {
        options |= PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
    }
    if (minimal) {
        options |= PCRE2_UNGREEDY;
    }
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    code.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options,
                             &errorCode, &errorOffset, nullptr));
    matchData.reset();
    captureCount = 0;
    if (!code) {
        lastError = errorText(errorCode) + " at offset " + std::to_string(errorOffset);
        return;
    }
    lastError.clear();
    uint32_t groups = 0;
    pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &groups);
    captureCount = static_cast<int>(groups);
    matchData.reset(pcre2_match_data_create_from_pattern(code.get(), nullptr));
    compileJit();
}

// Without JIT support (or for a pattern too large for it) the interpreter
// matches instead; both honour the match limit.
void ovRegExp::Impl::compileJit() {
    const bool jit = pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE) == 0;
    if (jit && !jitStack) {
        jitStack.reset(pcre2_jit_stack_create(kJitStackStartSize, kJitStackMaxSize, nullptr));
        pcre2_jit_stack_assign(matchContext.get(), nullptr, jitStack.get());
    }
}

int ovRegExp::Impl::match(const std::string& text, size_t offset) {
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.data());
    int result =
        pcre2_match(code.get(), subject, text.size(), offset, 0, matchData.get(), matchContext.get());
    if (result == PCRE2_ERROR_JIT_STACKLIMIT) {
        // The interpreter keeps its frames on the heap, bounded by the heap limit.
        result = pcre2_match(code.get(), subject, text.size(), offset, PCRE2_NO_JIT, matchData.get(),
                             matchContext.get());
    }
    if (result < 0 && result != PCRE2_ERROR_NOMATCH) {
        lastError = errorText(result);
    } else {
        lastError.clear();
    }
    return result;
}

void ovRegExp::Impl::storeCaptures(const std::string& text, int matchResult) {
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(matchData.get());
    auto& texts = matches.mTexts;
    // Resizing and assigning in place keeps the strings' capacity from one match to the next.
    texts.resize(static_cast<size_t>(captureCount) + 1);
    for (int group = 0; group <= captureCount; ++group) {
        const PCRE2_SIZE start = ovector[2 * group];
        auto& captured = texts[static_cast<size_t>(group)];
        if (group >= matchResult || start == PCRE2_UNSET) {
            captured.clear();
        } else {
            captured.assign(text, start, ovector[2 * group + 1] - start);
        }
    }
    matches.mCaptureCount = captureCount;
}

size_t ovRegExp::Impl::nextCharacter(const std::string& text, size_t offset) const {
    ++offset;
    while (utf && offset < text.size() && isUtf8Continuation(text[offset])) {
        ++offset;
    }
    return offset;
}

ovRegExp::ovRegExp(const std::string& pattern, CaseSensitivity caseSensitivity, int syntax, bool utf)
    : mImpl(std::make_unique<Impl>()) {
    mImpl->pattern = pattern;
    mImpl->caseInsensitive = caseSensitivity == CaseInsensitive;
    mImpl->utf = utf;
    mImpl->createMatchContext(kDefaultMatchLimit);
    if (syntax != PerlSyntax) {
        mImpl->lastError = "unsupported pattern syntax " + std::to_string(syntax);
        return;
    }
    mImpl->compile();
}

ovRegExp::~ovRegExp() = default;

bool ovRegExp::isValid() const {
    return mImpl->code != nullptr;
}

const std::string& ovRegExp::lastError() const {
    return mImpl->lastError;
}

void ovRegExp::setMinimal(bool minimal) {
    if (minimal == mImpl->minimal) {
        return;
    }
    mImpl->minimal = minimal;
    if (mImpl->code) {
        mImpl->compile();
    }
}

void ovRegExp::setMatchLimit(uint32_t limit) {
    const uint32_t effective = limit == 0 ? kDefaultMatchLimit : limit;
    pcre2_set_match_limit(mImpl->matchContext.get(), effective);
    pcre2_set_depth_limit(mImpl->matchContext.get(), effective);
}

size_t ovRegExp::indexIn(const std::string& text, size_t offset) {
    if (!mImpl->code || offset > text.size()) {
        return sInvalidOffset;
    }
    const int result = mImpl->match(text, offset);
    if (result < 0) {
        return sInvalidOffset;
    }
    mImpl->storeCaptures(text, result);
    return pcre2_get_ovector_pointer(mImpl->matchData.get())[0];
}

ovRegExpMatches& ovRegExp::editMatches() {
    return mImpl->matches;
}

int ovRegExp::remove(std::string& text) {
    if (!mImpl->code) {
        return -1;
    }
    std::string kept;
    kept.reserve(text.size());
    size_t copiedUpTo = 0;
    size_t offset = 0;
    int removed = 0;
    while (offset <= text.size()) {
        const int result = mImpl->match(text, offset);
        if (result == PCRE2_ERROR_NOMATCH) {
            break;
        }
        if (result < 0) {
            return -1;
        }
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(mImpl->matchData.get());
        const size_t start = ovector[0];
        const size_t end = ovector[1];
        if (end == start) {
            // An empty match removes nothing; step over one character so that
            // the search moves on.
            offset = mImpl->nextCharacter(text, start);
            continue;
        }
        kept.append(text, copiedUpTo, start - copiedUpTo);
        copiedUpTo = end;
        offset = end;
        ++removed;
    }
    if (removed > 0) {
        kept.append(text, copiedUpTo, std::string::npos);
        text.swap(kept);
    }
    return removed;
}

}  // namespace ov
