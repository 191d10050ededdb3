#include "express/ExpressSchema.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string_view>
#include <unordered_set>

#include "core/DriverLog.h"
#include "express/ExpressFile.h"
#include "express/ExpressTokens.h"
#include "regexp/ovRegExp.h"
#include "system/ovFiles.h"
#include "system/ovStringUtils.h"

namespace ov::express {

namespace {

// (* ... *) up to the first closing mark; "--" remarks are left in place.
constexpr const char* kCommentPattern = R"re(\(\*[\s\S]*\*\))re";
// Group 1: entity name; group 2: header up to the first semicolon; group 3: body.
constexpr const char* kEntityPattern = R"re(ENTITY\s+(\w+)(?:(?:\s+([^;]*))|(?:\s*));([\s\S]*)END_ENTITY;)re";
// Group 1: the comma-separated supertype names.
constexpr const char* kSubtypePattern = R"re(SUBTYPE\s+OF\s+\(([^\)]+)\))re";
// Group 1: the names before the colon; group 2: the type text up to the semicolon.
constexpr const char* kAttributePattern = R"re(([^:]+):([^;]+);)re";

constexpr std::string_view kSelfPrefix = "SELF\\";
constexpr std::string_view kDeriveKeyword = "DERIVE";
constexpr std::string_view kInverseKeyword = "INVERSE";
constexpr std::string_view kUniqueKeyword = "UNIQUE";
constexpr std::string_view kWhereKeyword = "WHERE";

constexpr std::string_view kEntityKeyword = "ENTITY";
constexpr std::string_view kEndEntityKeyword = "END_ENTITY;";

// The engine's match limit does not count the steps of a lazy scan, so two
// kinds of text could keep the entity search busy for hours: ENTITY keywords
// whose declaration never ends (each one scans to the end of the text before
// the search moves on) and declarations that overlap (each one rescans the
// rest of the file). Both are measured in bytes the engine would scan, against
// a budget far above what a real schema needs (about its own size).
constexpr size_t kScanBudgetFactor = 16;
constexpr size_t kMinScanBudget = size_t{16} << 20;

// A supertype walk appends every ancestor once per path; a lattice of repeated
// supertypes would otherwise grow exponentially.
constexpr size_t kMaxWalkSteps = 250'000;

// Reading in pieces keeps a bogus size (a folder, a device) from allocating it up front.
constexpr std::streamsize kReadChunk = std::streamsize{1} << 20;

// Every piece between separators, empty ones included.
std::vector<std::string> splitAt(std::string_view text, char separator) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t found = text.find(separator); found != std::string_view::npos;
         found = text.find(separator, start)) {
        pieces.emplace_back(text.substr(start, found - start));
        start = found + 1;
    }
    pieces.emplace_back(text.substr(start));
    return pieces;
}

bool isName(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isExpressWordChar);
}

// The keyword as a whole word: not the start of a longer name.
bool startsWithKeyword(std::string_view text, std::string_view keyword) {
    return ovStringUtils::StartsWith(text, keyword) &&
           (text.size() == keyword.size() || !isExpressWordChar(text[keyword.size()]));
}

std::ifstream openForReading(const std::string& path) {
    return std::ifstream(pathOfUtf8(path), std::ios::binary);
}

bool readExactly(std::ifstream& file, std::streamoff size, std::string& content) {
    if (size < 0) {
        return false;
    }
    content.clear();
    std::streamoff remaining = size;
    while (remaining > 0) {
        const std::streamsize chunk = std::min<std::streamoff>(remaining, kReadChunk);
        const size_t before = content.size();
        content.resize(before + static_cast<size_t>(chunk));
        file.read(content.data() + before, chunk);
        if (file.gcount() != chunk) {
            return false;
        }
        remaining -= chunk;
    }
    return true;
}

}  // namespace

bool readExpressFile(const std::string& path, std::string& content) {
    std::ifstream file = openForReading(path);
    if (!file.is_open()) {
        logWarning("Fail to open ", path);
        return false;
    }
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    file.seekg(0, std::ios::beg);
    if (!readExactly(file, size, content)) {
        logWarning("Fail to read ", path);
        return false;
    }
    return true;
}

namespace {

// The compiled patterns and the entity being built while one text is parsed.
class SchemaParser {
public:
    explicit SchemaParser(std::map<std::string, EntityTemplate>& entities);
    bool parse(std::string& text);

private:
    bool removeComments(std::string& text);
    static void dropTextAfterLastDeclaration(std::string& text);
    static bool checkUnterminatedKeywords(const std::string& text, size_t scanBudget);
    bool parseEntities(const std::string& text, size_t scanBudget);
    bool parseEntity(const std::vector<std::string>& captured);
    bool parseSupertypes(const std::string& declaration);
    bool parseBody(std::string_view body);
    bool parseAttribute(std::string_view text, bool derivedSection);
    bool addRedeclaration(const std::string& names, const std::string& typeText, bool derivedSection);
    bool parseUniqueClause(std::string_view body);
    bool parseUniqueRule(std::string_view text);
    bool parseUniqueAttribute(std::string text, UniqueRule& rule);

    std::map<std::string, EntityTemplate>& mEntities;
    ovRegExp mCommentPattern;
    ovRegExp mEntityPattern;
    ovRegExp mSubtypePattern;
    ovRegExp mAttributePattern;
    EntityTemplate mEntity;
    Attribute mAttribute;
};

SchemaParser::SchemaParser(std::map<std::string, EntityTemplate>& entities)
    : mEntities(entities),
      mCommentPattern(kCommentPattern, ovRegExp::CaseSensitive, ovRegExp::PerlSyntax, false),
      mEntityPattern(kEntityPattern, ovRegExp::CaseSensitive, ovRegExp::PerlSyntax, false),
      mSubtypePattern(kSubtypePattern, ovRegExp::CaseSensitive, ovRegExp::PerlSyntax, false),
      mAttributePattern(kAttributePattern, ovRegExp::CaseSensitive, ovRegExp::PerlSyntax, false) {
    mCommentPattern.setMinimal(true);
    mEntityPattern.setMinimal(true);
    mSubtypePattern.setMinimal(true);
}

bool SchemaParser::parse(std::string& text) {
    if (!removeComments(text)) {
        return false;
    }
    dropTextAfterLastDeclaration(text);
    const size_t scanBudget = std::max(text.size() * kScanBudgetFactor, kMinScanBudget);
    return checkUnterminatedKeywords(text, scanBudget) && parseEntities(text, scanBudget);
}

// Every match ends with END_ENTITY;, so what follows the last one can take part
// in no match; without it, keywords there cannot make the last search scan far.
void SchemaParser::dropTextAfterLastDeclaration(std::string& text) {
    const size_t lastEnd = text.rfind(kEndEntityKeyword);
    text.resize(lastEnd == std::string::npos ? 0 : lastEnd + kEndEntityKeyword.size());
}

// A keyword after the last semicolon before the final END_ENTITY; can only
// take that keyword's semicolon as the end of its header, and then finds no
// END_ENTITY; after it: the last search scans from each such keyword to the end
// and fails.
bool SchemaParser::checkUnterminatedKeywords(const std::string& text, size_t scanBudget) {
    if (text.empty()) {
        return true;
    }
    const size_t lastEnd = text.size() - kEndEntityKeyword.size();
    const size_t lastSemicolon = lastEnd == 0 ? std::string::npos : text.rfind(';', lastEnd - 1);
    const size_t tailStart = lastSemicolon == std::string::npos ? 0 : lastSemicolon + 1;
    size_t scanned = 0;
    for (size_t keyword = text.find(kEntityKeyword, tailStart); keyword < lastEnd;
         keyword = text.find(kEntityKeyword, keyword + 1)) {
        scanned += text.size() - keyword;
        if (scanned > scanBudget) {
            logError("Fail to parse express schema: unterminated ENTITY declarations from index ", tailStart);
            return false;
        }
    }
    return true;
}

bool SchemaParser::parseEntities(const std::string& text, size_t scanBudget) {
    size_t scanned = 0;
    size_t searchStart = 0;
    size_t found = mEntityPattern.indexIn(text, searchStart);
    while (static_cast<int32_t>(found) >= 0) {
        const auto index = static_cast<int32_t>(found);
        const std::vector<std::string>& captured = mEntityPattern.editMatches().capturedTexts();
        if (captured.size() != 4) {
            logWarning("Error while parsing express schema at index ", index);
            return false;
        }
        scanned += captured[0].size();
        if (scanned > scanBudget) {
            logError("Fail to parse express schema: ENTITY declarations overlap too much at index ", index);
            return false;
        }
        if (!parseEntity(captured)) {
            return false;
        }
        // The next search starts one character after this match's start, not after its end.
        searchStart = found + 1;
        found = mEntityPattern.indexIn(text, searchStart);
    }
    if (found == ovRegExp::sInvalidOffset && !mEntityPattern.lastError().empty()) {
        logError("Fail to search ENTITY in express schema from index ", searchStart, ": ",
                 mEntityPattern.lastError());
        return false;
    }
    return true;
}

bool SchemaParser::removeComments(std::string& text) {
    if (mCommentPattern.remove(text) < 0) {
        logError("Fail to remove comments from express schema: ", mCommentPattern.lastError());
        return false;
    }
    return true;
}

bool SchemaParser::parseEntity(const std::vector<std::string>& captured) {
    mEntity.clearEntity();
    mEntity.name = captured[1];
    if (!parseSupertypes(captured[0]) || !parseBody(captured[3])) {
        return false;
    }
    const auto [slot, inserted] = mEntities.try_emplace(mEntity.name);
    if (!inserted) {
        logError("Duplicated ENTITY ", mEntity.name);
        return false;
    }
    slot->second = std::move(mEntity);
    return true;
}

bool SchemaParser::parseSupertypes(const std::string& declaration) {
    if (mSubtypePattern.indexIn(declaration, 0) == ovRegExp::sInvalidOffset) {
        if (mSubtypePattern.lastError().empty()) {
            return true;
        }
        logError("Fail to parse SUBTYPE OF list of entity ", mEntity.name, ": ", mSubtypePattern.lastError());
        return false;
    }
    const ovRegExpMatches& matches = mSubtypePattern.editMatches();
    if (matches.captureCount() < 1) {
        return true;
    }
    for (std::string& name : splitAt(matches.capturedTexts()[1], ',')) {
        ovStringUtils::trim(name);
        if (!name.empty()) {
            mEntity.supertypes.push_back(std::move(name));
        }
    }
    return true;
}

bool SchemaParser::parseBody(std::string_view body) {
    bool derivedSection = false;
    while (true) {
        body = ovStringUtils::trimmed(body);
        if (body.empty() || ovStringUtils::StartsWith(body, kWhereKeyword)) {
            return true;
        }
        if (startsWithKeyword(body, kUniqueKeyword) || startsWithKeyword(body, kInverseKeyword)) {
            return parseUniqueClause(body);
        }
        if (ovStringUtils::StartsWith(body, kDeriveKeyword)) {
            body.remove_prefix(kDeriveKeyword.size());
            derivedSection = true;
            continue;
        }
        // An attribute can only run to the first semicolon after the first
        // colon. Handing the engine just that much keeps a body that does not
        // start with an attribute from being searched again at every offset.
        const size_t colon = body.find(':');
        const size_t semicolon = colon == std::string_view::npos ? colon : body.find(';', colon);
        if (semicolon == std::string_view::npos) {
            logError("Fail to parse entity ", mEntity.name);
            return false;
        }
        const std::string_view attribute = body.substr(0, semicolon + 1);
        if (!parseAttribute(attribute, derivedSection)) {
            return false;
        }
        body.remove_prefix(attribute.size());
    }
}

bool SchemaParser::parseAttribute(std::string_view text, bool derivedSection) {
    const std::string subject(text);
    if (mAttributePattern.indexIn(subject, 0) != 0) {
        logError("Fail to parse entity ", mEntity.name);
        return false;
    }
    const std::vector<std::string>& captured = mAttributePattern.editMatches().capturedTexts();
    std::string names = captured[1];
    ovStringUtils::trim(names);
    const std::string& typeText = captured[2];
    if (ovStringUtils::StartsWith(names, kSelfPrefix)) {
        return addRedeclaration(names.substr(kSelfPrefix.size()), typeText, derivedSection);
    }
    if (!derivedSection) {
        mAttribute.clearAttribute();
        mAttribute.name = std::move(names);
        mAttribute.entity = mEntity.name;
        mAttribute.optional = ovStringUtils::Contains(typeText, "OPTIONAL", true);
        mEntity.attributes.push_back(mAttribute);
    }
    return true;
}

// names is s.n of SELF\s.n: the supertype that declares the attribute, then its name.
bool SchemaParser::addRedeclaration(const std::string& names, const std::string& typeText,
                                    bool derivedSection) {
    std::vector<std::string> pieces = splitAt(names, '.');
    if (pieces.size() != 2) {
        logError("Fail to analyze derived attribute ", names, " of entity ", mEntity.name);
        return false;
    }
    ovStringUtils::trim(pieces[0]);
    ovStringUtils::trim(pieces[1]);
    mAttribute.clearAttribute();
    mAttribute.name = std::move(pieces[1]);
    mAttribute.entity = mEntity.name;
    mAttribute.supertype = std::move(pieces[0]);
    mAttribute.optional = ovStringUtils::Contains(typeText, "OPTIONAL", true);
    mAttribute.redeclared = true;
    mAttribute.derived = derivedSection;
    mEntity.attributes.push_back(mAttribute);
    return true;
}

// The INVERSE clause, when there is one, comes before the UNIQUE clause and
// the WHERE clause after it. Neither an inverse attribute nor a unique rule
// holds a semicolon, so each ends at the next one.
bool SchemaParser::parseUniqueClause(std::string_view body) {
    bool inUniqueClause = false;
    while (true) {
        body = ovStringUtils::trimmed(body);
        if (body.empty() || startsWithKeyword(body, kWhereKeyword)) {
            return true;
        }
        if (startsWithKeyword(body, kUniqueKeyword)) {
            body.remove_prefix(kUniqueKeyword.size());
            inUniqueClause = true;
            continue;
        }
        const size_t end = body.find(';');
        if (end == std::string_view::npos) {
            logError("Fail to parse entity ", mEntity.name);
            return false;
        }
        if (inUniqueClause && !parseUniqueRule(body.substr(0, end))) {
            return false;
        }
        body.remove_prefix(end + 1);
    }
}

// [label :] attribute {, attribute}
bool SchemaParser::parseUniqueRule(std::string_view text) {
    UniqueRule rule;
    std::string_view attributes = text;
    const size_t colon = text.find(':');
    if (colon != std::string_view::npos) {
        rule.label = ovStringUtils::trimmed(text.substr(0, colon));
        attributes.remove_prefix(colon + 1);
    }
    bool parsed = colon == std::string_view::npos || isName(rule.label);
    for (std::string& attribute : splitAt(attributes, ',')) {
        parsed = parsed && parseUniqueAttribute(std::move(attribute), rule);
    }
    if (!parsed) {
        logError("Fail to parse UNIQUE rule of entity ", mEntity.name, ": ", ovStringUtils::trimmed(text));
        return false;
    }
    mEntity.uniqueRules.push_back(std::move(rule));
    return true;
}

// name, or SELF\supertype.name
bool SchemaParser::parseUniqueAttribute(std::string text, UniqueRule& rule) {
    ovStringUtils::trim(text);
    AttributeReference reference;
    if (ovStringUtils::StartsWith(text, kSelfPrefix)) {
        std::vector<std::string> names = splitAt(std::string_view(text).substr(kSelfPrefix.size()), '.');
        if (names.size() != 2) {
            return false;
        }
        ovStringUtils::trim(names[0]);
        ovStringUtils::trim(names[1]);
        reference = {std::move(names[0]), std::move(names[1])};
        if (!isName(reference.supertype)) {
            return false;
        }
    } else {
        reference.name = std::move(text);
    }
    if (!isName(reference.name)) {
        return false;
    }
    rule.attributes.push_back(std::move(reference));
    return true;
}

void recordEntity(const EntityTemplate& entity, std::set<std::string>* visited, std::vector<Attribute>* out) {
    if (visited) {
        visited->insert(entity.name);
    }
    if (out) {
        out->insert(out->end(), entity.attributes.begin(), entity.attributes.end());
    }
}

// Depth first, every entity after its supertypes, supertypes in written order;
// an ancestor reached along two paths is recorded twice. Walked with an
// explicit stack so that a deep chain cannot exhaust the call stack.
bool walkAncestors(const std::map<std::string, EntityTemplate>& entities, const EntityTemplate& start,
                   std::set<std::string>* visited, std::vector<Attribute>* out) {
    struct Frame {
        const EntityTemplate* entity;
        size_t nextSupertype;
    };
    std::vector<Frame> path{{&start, 0}};
    std::unordered_set<const EntityTemplate*> onPath{&start};
    size_t steps = 0;
    while (!path.empty()) {
        Frame& top = path.back();
        if (top.nextSupertype == top.entity->supertypes.size()) {
            recordEntity(*top.entity, visited, out);
            onPath.erase(top.entity);
            path.pop_back();
            continue;
        }
        const std::string& name = top.entity->supertypes[top.nextSupertype++];
        const auto found = entities.find(name);
        if (found == entities.end()) {
            return false;
        }
        if (!onPath.insert(&found->second).second) {
            logError("Cyclic SUBTYPE OF relation at entity ", name);
            return false;
        }
        if (++steps > kMaxWalkSteps) {
            logError("Too many supertypes to walk from entity ", start.name);
            return false;
        }
        path.push_back({&found->second, 0});
    }
    return true;
}

bool appendOwnAttributes(const std::map<std::string, EntityTemplate>& entities,
                         const std::set<std::string>& names,
                         std::map<std::string, std::vector<Attribute>>& result) {
    for (const std::string& name : names) {
        const auto found = entities.find(name);
        if (found == entities.end()) {
            return false;
        }
        std::vector<Attribute>& partial = result[ovStringUtils::uppered(name)];
        partial.insert(partial.end(), found->second.attributes.begin(), found->second.attributes.end());
    }
    return true;
}

// Marks the entries that a redeclaration replaces (one name) or derives (a
// complex instance).
bool resolveRedeclarations(std::map<std::string, std::vector<Attribute>>& result, bool singleName) {
    for (auto& [key, attributes] : result) {
        for (Attribute& redeclaration : attributes) {
            if (!redeclaration.redeclared) {
                continue;
            }
            std::vector<Attribute>& target =
                singleName ? attributes : result[ovStringUtils::uppered(redeclaration.supertype)];
            const auto original = std::find_if(target.begin(), target.end(), [&](const Attribute& candidate) {
                return candidate.name == redeclaration.name && candidate.entity == redeclaration.supertype;
            });
            if (original == target.end()) {
                logError("Fail to find original attribute '", redeclaration.name, "' declared in supertype '",
                         redeclaration.supertype, "' and redeclared in '", redeclaration.entity, "'");
                return false;
            }
            if (singleName) {
                original->superseded = true;
            } else if (redeclaration.derived) {
                original->derivedInSubtype = true;
                redeclaration.superseded = true;
            }
        }
    }
    return true;
}

}  // namespace

void Attribute::clearAttribute() {
    *this = Attribute();
}

void EntityTemplate::clearEntity() {
    *this = EntityTemplate();
}

bool ExpressSchema::loadSchema(const std::string& path, SchemaSpelling spelling) {
    entities.clear();
    std::string text;
    return readExpressFile(path, text) &&
           loadSchemaText(*this,
                          spelling == SchemaSpelling::Any ? canonicalExpressText(text) : std::move(text));
}

bool loadSchemaText(ExpressSchema& schema, std::string text) {
    schema.entities.clear();
    SchemaParser parser(schema.entities);
    return parser.parse(text);
}

bool ExpressSchema::getAttributeList(const std::list<std::string>& entityNames,
                                     std::map<std::string, std::vector<Attribute>>& result) const {
    result.clear();
    if (entityNames.empty()) {
        return false;
    }
    std::set<std::string> visited;
    if (entityNames.size() == 1) {
        const std::string& name = entityNames.front();
        if (!getAttributeList(name, &visited, &result[ovStringUtils::uppered(name)], false)) {
            return false;
        }
    } else {
        for (const std::string& name : entityNames) {
            if (!getAttributeList(name, &visited, nullptr, false)) {
                return false;
            }
        }
        if (!appendOwnAttributes(entities, visited, result)) {
            return false;
        }
    }
    return resolveRedeclarations(result, entityNames.size() == 1);
}

bool ExpressSchema::getAttributeList(const std::string& entityName, std::set<std::string>* visited,
                                     std::vector<Attribute>* out, bool ownOnly) const {
    const auto found = entities.find(entityName);
    if (found == entities.end()) {
        return false;
    }
    if (ownOnly) {
        recordEntity(found->second, visited, out);
        return true;
    }
    return walkAncestors(entities, found->second, visited, out);
}

}  // namespace ov::express
