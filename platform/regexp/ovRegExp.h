#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ov {

// Starts and stops the engine. Nesting is counted. Each expression owns its
// match resources (match data, match context, JIT stack), so expressions used
// on different threads share no state.
void initializeRegExp();
void terminateRegExp();

// Captures of the last successful match of an ovRegExp.
class ovRegExpMatches {
public:
    // Number of capture groups of the pattern.
    int captureCount() const { return mCaptureCount; }
    // The whole match followed by one text per group (empty for a group that
    // did not take part).
    const std::vector<std::string>& capturedTexts() const { return mTexts; }

private:
    friend class ovRegExp;
    int mCaptureCount = 0;
    std::vector<std::string> mTexts;
};

// Perl-compatible regular expression. Minimal mode makes every quantifier lazy.
// Matching is bounded: a pattern that would run away on its subject fails the
// match (indexIn answers sInvalidOffset and lastError() says why) instead of
// hanging the caller.
class ovRegExp {
public:
    enum CaseSensitivity : int { CaseSensitive = 0, CaseInsensitive = 1 };
    enum Syntax : int { PerlSyntax = 30 };
    static constexpr size_t sInvalidOffset = static_cast<size_t>(-1);

    // syntax: PerlSyntax is the only one; utf: the pattern and subjects are UTF-8
    // (false: bytes). A pattern that does not compile makes isValid() false.
    ovRegExp(const std::string& pattern, CaseSensitivity caseSensitivity = CaseSensitive,
             int syntax = PerlSyntax, bool utf = false);
    ~ovRegExp();
    ovRegExp(const ovRegExp&) = delete;
    ovRegExp& operator=(const ovRegExp&) = delete;

    bool isValid() const;
    // Compile error, or the reason the last match failed other than "no match".
    const std::string& lastError() const;
    void setMinimal(bool minimal);
    // Caps the work of one match (the engine's match limit); 0 restores the default.
    void setMatchLimit(uint32_t limit);

    // Offset of the first match starting at or after offset, or sInvalidOffset.
    size_t indexIn(const std::string& text, size_t offset);
    ovRegExpMatches& editMatches();
    // Deletes every non-overlapping match from text; answers the number removed,
    // or -1 when a match failed (text is then unchanged).
    int remove(std::string& text);

private:
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

}  // namespace ov
