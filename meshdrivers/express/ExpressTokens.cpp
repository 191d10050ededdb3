#include "express/ExpressTokens.h"

#include <algorithm>
#include <iterator>

#include "system/ovStringUtils.h"

namespace ov::express {

namespace {

// The reserved words the layout and type readers look for, which never name
// anything.
constexpr std::string_view kKeywords[] = {
    "ABSTRACT",       "AGGREGATE",  "ANDOR",    "ARRAY",  "BAG",         "BASED_ON",   "BINARY",  "BOOLEAN",
    "DERIVE",         "END_ENTITY", "END_TYPE", "ENTITY", "ENUMERATION", "EXTENSIBLE", "FIXED",   "GENERIC",
    "GENERIC_ENTITY", "INTEGER",    "INVERSE",  "LIST",   "LOGICAL",     "NUMBER",     "OF",      "ONEOF",
    "OPTIONAL",       "REAL",       "SELECT",   "SELF",   "SET",         "STRING",     "SUBTYPE", "SUPERTYPE",
    "TYPE",           "UNIQUE",     "WHERE",    "WITH",   "END_SCHEMA",  "SCHEMA",     "RULE"};

// EXPRESS does not tell case apart: keywords in capitals as the readers
// compare them, names in lower case as long forms spell them, so that a
// SUBTYPE OF list that spells a name otherwise still finds it.
std::string keywordOrName(std::string_view word) {
    std::string upper = ovStringUtils::uppered(word);
    if (std::find(std::begin(kKeywords), std::end(kKeywords), upper) != std::end(kKeywords)) {
        return upper;
    }
    return ovStringUtils::lowered(word);
}

bool joinsPrevious(std::string_view token) {
    return token == ";" || token == "," || token == "\\" || token == ".";
}

}  // namespace

bool isExpressWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::vector<std::string_view> expressTokens(std::string_view text) {
    std::vector<std::string_view> tokens;
    size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (text.substr(at, 2) == "(*") {
            const size_t end = text.find("*)", at + 2);
            at = end == std::string_view::npos ? text.size() : end + 2;
        } else if (text.substr(at, 2) == "--") {
            const size_t end = text.find('\n', at);
            at = end == std::string_view::npos ? text.size() : end + 1;
        } else if (isExpressWordChar(c)) {
            const size_t start = at;
            while (at < text.size() && isExpressWordChar(text[at])) {
                ++at;
            }
            tokens.push_back(text.substr(start, at - start));
        } else if (c == '\'' || c == '"') {
            const size_t end = text.find(c, at + 1);
            const size_t stop = end == std::string_view::npos ? text.size() : end + 1;
            tokens.push_back(text.substr(at, stop - at));
            at = stop;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
            ++at;
        } else {
            tokens.push_back(text.substr(at, 1));
            ++at;
        }
    }
    return tokens;
}

std::string canonicalExpressText(std::string_view text) {
    std::string canonical;
    canonical.reserve(text.size());
    std::string_view previous;
    for (const std::string_view token : expressTokens(text)) {
        if (!canonical.empty() && !joinsPrevious(token) && previous != "\\" && previous != ".") {
            canonical += ' ';
        }
        canonical += isExpressWordChar(token.front()) ? keywordOrName(token) : std::string(token);
        previous = token;
    }
    return canonical;
}

}  // namespace ov::express
