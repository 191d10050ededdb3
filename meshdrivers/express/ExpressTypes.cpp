#include "express/ExpressTypes.h"

#include <algorithm>
#include <charconv>
#include <iterator>

#include "express/ExpressTokens.h"
#include "system/ovStringUtils.h"

namespace ov::express {

namespace {

std::optional<int64_t> literalBound(std::string_view text) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

// Reads the TYPE and ENTITY declarations of one token sequence. Every loop
// moves forward through the tokens, so reading is linear in the text.
class ExpressTypeParser {
public:
    ExpressTypeParser(ExpressTypes& model, std::vector<std::string_view> tokens)
        : mModel(model), mTokens(std::move(tokens)) {}

    void parse() {
        while (mAt < mTokens.size()) {
            if (is("TYPE") && peek(1) != "" && isExpressWordChar(peek(1)[0]) && peek(2) == "=") {
                parseTypeDeclaration();
            } else if (is("ENTITY") && peek(1) != "" && isExpressWordChar(peek(1)[0])) {
                parseEntity();
            } else {
                ++mAt;
            }
        }
    }

private:
    std::string_view peek(size_t ahead) const {
        return mAt + ahead < mTokens.size() ? mTokens[mAt + ahead] : std::string_view();
    }
    bool is(std::string_view word) const { return peek(0) == word; }
    bool accept(std::string_view word) {
        if (!is(word)) {
            return false;
        }
        ++mAt;
        return true;
    }
    std::string_view take() { return mAt < mTokens.size() ? mTokens[mAt++] : std::string_view(); }
    // Moves past the next token equal to word (or to the end).
    void skipPast(std::string_view word) {
        while (mAt < mTokens.size() && mTokens[mAt++] != word) {
        }
    }
    // From an opening parenthesis to past its closing one.
    void skipParenthesised() {
        size_t depth = 0;
        do {
            const std::string_view token = take();
            depth += token == "(" ? 1 : 0;
            depth -= token == ")" && depth > 0 ? 1 : 0;
        } while (depth > 0 && mAt < mTokens.size());
    }

    void parseTypeDeclaration() {
        mAt += 1;
        const std::string name = ovStringUtils::uppered(take());
        mAt += 1;  // =
        const TypeId type = parseType(name);
        mModel.mDefinedTypes.try_emplace(name, type);
        skipPast("END_TYPE");
    }

    void parseEntity() {
        mAt += 1;
        std::map<std::string, TypeId>& attributes = mModel.mAttributes[ovStringUtils::uppered(take())];
        skipPast(";");
        bool derivedSection = false;
        while (mAt < mTokens.size() && !is("END_ENTITY")) {
            if (is("WHERE") || is("UNIQUE") || is("INVERSE")) {
                skipPast("END_ENTITY");
                return;
            }
            if (accept("DERIVE")) {
                derivedSection = true;
                continue;
            }
            parseAttribute(attributes, derivedSection);
        }
        ++mAt;
    }

    void parseAttribute(std::map<std::string, TypeId>& attributes, bool derivedSection) {
        // SELF \ supertype . name
        const bool redeclared = accept("SELF");
        mAt += redeclared ? 3 : 0;
        const std::string key = ExpressTypes::attributeKey(take(), redeclared);
        if (!accept(":")) {
            skipPast(";");
            return;
        }
        TypeId type = ExpressTypes::kAnyType;
        if (!derivedSection) {
            accept("OPTIONAL");
            type = parseType(std::string());
        }
        skipPast(";");
        if (redeclared || !derivedSection) {
            attributes.try_emplace(key, type);
        }
    }

    // The aggregate prefixes are read in a loop and chained afterwards, so
    // that deeply nested aggregates need no recursion.
    TypeId parseType(const std::string& declaringName) {
        std::vector<DeclaredType> aggregates;
        while (true) {
            const std::optional<DeclaredType::Aggregate> aggregate = aggregateKind(peek(0));
            if (!aggregate) {
                break;
            }
            ++mAt;
            DeclaredType type;
            type.kind = DeclaredType::Kind::Aggregate;
            type.aggregate = *aggregate;
            if (is("[")) {
                parseBounds(type);
            }
            if (!accept("OF")) {
                return ExpressTypes::kAnyType;
            }
            type.optionalElements = accept("OPTIONAL");
            accept("UNIQUE");
            aggregates.push_back(std::move(type));
        }
        TypeId type = parseBaseType(declaringName);
        for (auto it = aggregates.rbegin(); it != aggregates.rend(); ++it) {
            it->element = type;
            type = mModel.add(std::move(*it));
        }
        return type;
    }

    static std::optional<DeclaredType::Aggregate> aggregateKind(std::string_view word) {
        if (word == "LIST") {
            return DeclaredType::Aggregate::List;
        }
        if (word == "SET") {
            return DeclaredType::Aggregate::Set;
        }
        if (word == "BAG") {
            return DeclaredType::Aggregate::Bag;
        }
        if (word == "ARRAY") {
            return DeclaredType::Aggregate::Array;
        }
        return std::nullopt;
    }

    // [ lower : upper ]; only literal numbers are kept.
    void parseBounds(DeclaredType& type) {
        ++mAt;
        std::string_view lower;
        std::string_view upper;
        std::string_view* side = &lower;
        size_t parts = 0;
        while (mAt < mTokens.size() && !is("]")) {
            const std::string_view token = take();
            if (token == ":") {
                side = &upper;
                parts = 0;
            } else {
                *side = ++parts == 1 ? token : std::string_view();
            }
        }
        ++mAt;
        type.lower = literalBound(lower).value_or(0);
        type.upper = literalBound(upper).value_or(DeclaredType::kUnbounded);
    }

    TypeId parseBaseType(const std::string& declaringName) {
        using Kind = DeclaredType::Kind;
        static const std::pair<std::string_view, Kind> kSimple[] = {
            {"INTEGER", Kind::Integer}, {"REAL", Kind::Real},       {"NUMBER", Kind::Number},
            {"BOOLEAN", Kind::Boolean}, {"LOGICAL", Kind::Logical}, {"STRING", Kind::String},
            {"BINARY", Kind::Binary},
        };
        for (const auto& [word, kind] : kSimple) {
            if (accept(word)) {
                if (is("(")) {
                    skipParenthesised();
                }
                accept("FIXED");
                return simpleType(kind);
            }
        }
        accept("EXTENSIBLE");
        accept("GENERIC_ENTITY");
        if (accept("SELECT")) {
            return parseList(Kind::Select, declaringName);
        }
        if (accept("ENUMERATION")) {
            accept("OF");
            return parseList(Kind::Enumeration, declaringName);
        }
        const std::string_view word = take();
        if (word.empty() || !isExpressWordChar(word[0])) {
            return ExpressTypes::kAnyType;
        }
        DeclaredType named;
        named.kind = Kind::Named;
        named.name = ovStringUtils::uppered(word);
        return mModel.add(std::move(named));
    }

    TypeId simpleType(DeclaredType::Kind kind) {
        const auto found = mSimpleTypes.find(kind);
        if (found != mSimpleTypes.end()) {
            return found->second;
        }
        DeclaredType type;
        type.kind = kind;
        return mSimpleTypes[kind] = mModel.add(std::move(type));
    }

    // [ ( a, b, ... ) ] [ BASED_ON name [ WITH ( c, ... ) ] ]
    TypeId parseList(DeclaredType::Kind kind, const std::string& declaringName) {
        DeclaredType type;
        type.kind = kind;
        type.name = declaringName;
        readNames(type.items);
        if (accept("BASED_ON")) {
            type.basedOn = ovStringUtils::uppered(take());
            if (accept("WITH")) {
                readNames(type.items);
            }
        }
        return mModel.add(std::move(type));
    }

    void readNames(std::vector<std::string>& names) {
        if (!accept("(")) {
            return;
        }
        while (mAt < mTokens.size() && !accept(")")) {
            const std::string_view token = take();
            if (isExpressWordChar(token[0])) {
                names.push_back(ovStringUtils::uppered(token));
            }
        }
    }

    ExpressTypes& mModel;
    std::vector<std::string_view> mTokens;
    size_t mAt = 0;
    std::map<DeclaredType::Kind, TypeId> mSimpleTypes;
};

ExpressTypes::ExpressTypes() {
    mTypes.emplace_back();
}

void ExpressTypes::parse(std::string_view canonicalText) {
    *this = ExpressTypes();
    ExpressTypeParser(*this, expressTokens(canonicalText)).parse();
}

TypeId ExpressTypes::add(DeclaredType type) {
    mTypes.push_back(std::move(type));
    return static_cast<TypeId>(mTypes.size() - 1);
}

std::optional<TypeId> ExpressTypes::definedType(std::string_view upperName) const {
    const auto found = mDefinedTypes.find(upperName);
    return found == mDefinedTypes.end() ? std::nullopt : std::optional<TypeId>(found->second);
}

TypeId ExpressTypes::attributeType(std::string_view upperEntity, std::string_view attributeName,
                                   bool redeclared) const {
    const auto entity = mAttributes.find(upperEntity);
    if (entity == mAttributes.end()) {
        return kAnyType;
    }
    const auto attribute = entity->second.find(attributeKey(attributeName, redeclared));
    return attribute == entity->second.end() ? kAnyType : attribute->second;
}

std::string ExpressTypes::attributeKey(std::string_view name, bool redeclared) {
    return (redeclared ? "SELF\\" : "") + std::string(name);
}

}  // namespace ov::express
