#include "step/Part21Checker.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <limits>
#include <set>
#include <unordered_map>

#include "core/InputFiles.h"
#include "step/Part21CheckerSchema.h"
#include "step/Part21Reader.h"
#include "step/Part21StringCheck.h"
#include "step/Part21Writer.h"

namespace ov::step {

namespace {

using Item = Part21Item;
using Severity = Part21Finding::Severity;

// Header entities every exchange file has, with their parameter counts.
constexpr std::pair<std::string_view, size_t> kHeaderEntities[] = {
    {"FILE_DESCRIPTION", 2},
    {"FILE_NAME", 7},
    {"FILE_SCHEMA", 1},
};

// Ids below this, or below a few times the number of instances, are kept in a
// table indexed by the id; others (sparse numbering) in a hash map.
constexpr uint64_t kDenseIds = uint64_t{1} << 20;
constexpr uint64_t kDenseIdsPerInstance = 8;

std::string instanceText(uint64_t id) {
    return '#' + std::to_string(id);
}

// A parameter as written, from its first character to the end of its last
// value: a typed value with its closing parenthesis, a list without them (its
// values tell how many parentheses close it).
std::string_view writtenText(const std::vector<Part21Item>& items, uint32_t item) {
    const std::string_view last = items[items[item].next - 1].text;
    const char* const begin = items[item].text.data();
    const bool typed = items[item].kind == Part21Item::Kind::Typed;
    return {begin, static_cast<size_t>(last.data() + last.size() + (typed ? 1 : 0) - begin)};
}

std::string quotedItem(const Part21Item& item) {
    constexpr size_t kShown = 40;
    const std::string_view text = item.kind == Part21Item::Kind::List    ? std::string_view("a list")
                                  : item.kind == Part21Item::Kind::Typed ? item.text
                                                                         : item.text.substr(0, kShown);
    return std::string(text) + (item.kind == Part21Item::Kind::Typed ? "(...)" : "") +
           (item.text.size() > kShown ? "..." : "");
}

void appendNumber(std::string& text, uint64_t number, char separator) {
    char digits[std::numeric_limits<uint64_t>::digits10 + 1];
    text.append(digits, std::to_chars(std::begin(digits), std::end(digits), number).ptr);
    text += separator;
}

// The instance a reference names; nullopt for another value or a number out of range.
std::optional<uint64_t> referencedId(const Part21Item& item) {
    uint64_t id = 0;
    const std::string_view digits = item.text.substr(1);
    const bool read = item.kind == Part21Item::Kind::Reference &&
                      std::from_chars(digits.data(), digits.data() + digits.size(), id).ec == std::errc();
    return read ? std::optional<uint64_t>(id) : std::nullopt;
}

// Which shape each instance number stands for; 0 when the number is not defined.
class InstanceTable {
public:
    // False when the id was defined before.
    bool define(uint64_t id, uint32_t shape) {
        ++mCount;
        uint32_t* slot = find(id, true);
        if (*slot != 0) {
            return false;
        }
        *slot = shape + 1;
        return true;
    }
    std::optional<uint32_t> shapeOf(uint64_t id) {
        const uint32_t* slot = find(id, false);
        return slot == nullptr || *slot == 0 ? std::nullopt : std::optional<uint32_t>(*slot - 1);
    }

private:
    uint32_t* find(uint64_t id, bool create) {
        if (id < std::max(kDenseIds, mCount * kDenseIdsPerInstance)) {
            if (id >= mDense.size()) {
                if (!create) {
                    return nullptr;
                }
                mDense.resize(std::max<size_t>(id + 1, mDense.size() * 2), 0);
            }
            return &mDense[id];
        }
        const auto found = mSparse.find(id);
        if (found != mSparse.end()) {
            return &found->second;
        }
        return create ? &mSparse[id] : nullptr;
    }

    std::vector<uint32_t> mDense;
    std::unordered_map<uint64_t, uint32_t> mSparse;
    uint64_t mCount = 0;
};

// Where a value stands: the instance, its partial value and the attribute
// (null when the parameters do not match the attributes).
struct Origin {
    uint64_t id = 0;
    std::string_view part;
    const ParameterSlot* slot = nullptr;
};

// "#12 PRODUCT.name: ", how the messages about a value start.
std::string originText(const Origin& origin) {
    std::string text = instanceText(origin.id) + " " + std::string(origin.part);
    if (origin.slot != nullptr) {
        text += "." + origin.slot->attribute;
    }
    return text + ": ";
}

// Whether a FILE_NAME record names this library's writer as its preprocessor.
bool isOwnFileName(const Part21Record& record) {
    const Part21Record::Part& part = record.parts.front();
    uint32_t item = part.first;
    for (int skipped = 0; skipped < 4 && item < part.end; ++skipped) {
        item = record.items[item].next;
    }
    return item < part.end &&
           record.items[item].text == "'" + std::string(Part21Writer::kPreprocessorVersion) + "'";
}

// A reference whose target was not defined yet when it was read.
struct PendingReference {
    uint64_t target = 0;
    uint64_t line = 0;
    Origin origin;
    TypeId type = 0;
};

// A value to check against a type; explicit, so that nesting does not recurse.
struct PendingValue {
    uint32_t item = 0;
    TypeId type = 0;
    bool unsetAllowed = false;
};

class CheckingHandler : public Part21Handler {
public:
    CheckingHandler(const Part21Schema& schema, const Part21CheckOptions& options)
        : mView(schema),
          mMaxFindings(options.maxFindings),
          mPartialSchema(options.partialSchema),
          mGeometricItem(schema.entityIndex("GEOMETRIC_REPRESENTATION_ITEM")) {}

    void headerRecord(const Part21Record& record) override;
    void dataRecord(const Part21Record& record) override;
    void syntaxError(uint64_t line, const std::string& message) override { report(line, message); }
    void unreadableInstance(uint64_t id, uint64_t line) override {
        define(id, line, SchemaView::kUnknownShape);
    }
    Part21CheckReport finish();

private:
    void report(uint64_t line, std::string message, Severity severity = Severity::Error);
    void define(uint64_t id, uint64_t line, uint32_t shape);
    const InstanceLayout* layoutOf(const Part21Record& record);
    bool partsInOrder(const Part21Record& record, std::vector<uint32_t>& entities);
    void checkPartials(const Part21Record& record, const InstanceLayout& layout);
    void checkParameters(const Part21Record::Part& part, const PartialLayout& partial);
    void checkSlot(uint32_t item, const ParameterSlot& slot);
    void checkValue(const PendingValue& root);
    void checkValues();
    void reportMismatches();
    void checkReference(const Item& item, TypeId type);
    void checkReferenceTarget(const PendingReference& reference, uint32_t shape);
    bool checkAggregate(const PendingValue& value, const DeclaredType& aggregate);
    void checkStrings();
    void checkDistinctMembers(uint32_t list);
    void reportUnusedGeometry();
    void countUndeclared(std::string_view entity);
    void checkUniqueRules(const InstanceLayout& layout);
    bool uniqueKey(const InstanceLayout& layout, const UniqueCheck& check);
    std::optional<uint32_t> parameterAt(const InstanceLayout& layout, UniqueCheck::Position position) const;
    void mismatch(const Item& item, TypeId type, const std::string& detail = std::string());
    uint64_t lineOf(const Item& item) const { return mRecord->line + item.lineOffset; }
    std::string where() const;

    SchemaView mView;
    size_t mMaxFindings;
    bool mPartialSchema;
    // Until its FILE_NAME record names this library's writer.
    bool mForeign = true;
    std::set<std::string, std::less<>> mUndeclared;
    Part21CheckReport mReport;
    InstanceTable mInstances;
    std::vector<PendingReference> mPending;
    // Every instance a reference names, and the geometric items with their lines:
    // an item no instance refers to belongs to no representation.
    std::vector<uint64_t> mReferenced;
    std::optional<uint32_t> mGeometricItem;
    std::vector<std::pair<uint64_t, uint64_t>> mGeometricItems;
    // The members of a SET being checked.
    std::vector<std::string_view> mMembers;
    // The values of each UNIQUE rule met so far, with the first instance that has them.
    std::unordered_map<std::string, uint64_t> mUniqueValues;
    std::string mUniqueKey;
    std::vector<PendingValue> mValues;
    std::vector<uint32_t> mEntities;
    // The first item of each parameter of the partial value being checked.
    std::vector<uint32_t> mParameters;
    // The record and slot being checked, for the messages.
    const Part21Record* mRecord = nullptr;
    std::string_view mPartName;
    const ParameterSlot* mSlot = nullptr;
    // Type mismatches found in the value being checked.
    struct Mismatch {
        std::string kind;
        std::string first;
        uint64_t line = 0;
        uint64_t count = 0;
    };
    std::vector<Mismatch> mMismatches;
};

void CheckingHandler::report(uint64_t line, std::string message, Severity severity) {
    (severity == Severity::Error ? mReport.errors : mReport.warnings) += 1;
    if (mReport.findings.size() < mMaxFindings) {
        mReport.findings.push_back({line, severity, std::move(message)});
    }
}

std::string CheckingHandler::where() const {
    return originText({mRecord->id, mPartName, mSlot});
}

void CheckingHandler::define(uint64_t id, uint64_t line, uint32_t shape) {
    ++mReport.instances;
    if (!mInstances.define(id, shape)) {
        report(line, instanceText(id) + " is defined twice");
    }
}

void CheckingHandler::headerRecord(const Part21Record& record) {
    mRecord = &record;
    checkStrings();
    const Part21Record::Part& part = record.parts.front();
    if (part.name == "FILE_NAME") {
        mForeign = !isOwnFileName(record);
    }
    for (const auto& [name, count] : kHeaderEntities) {
        if (part.name != name) {
            continue;
        }
        size_t found = 0;
        for (uint32_t item = part.first; item < part.end; item = record.items[item].next) {
            ++found;
        }
        if (found != count) {
            report(record.line, std::string(name) + " has " + std::to_string(found) +
                                    " parameters instead of " + std::to_string(count));
        }
    }
    for (const Item& item : record.items) {
        if (item.kind == Item::Kind::Reference) {
            report(lineOf(item), "reference " + std::string(item.text) + " in the header");
        }
    }
}

void CheckingHandler::dataRecord(const Part21Record& record) {
    mRecord = &record;
    mPartName = record.parts.front().name;
    mSlot = nullptr;
    checkStrings();
    const InstanceLayout* layout = layoutOf(record);
    define(record.id, record.line, layout == nullptr ? SchemaView::kUnknownShape : layout->shape);
    if (layout != nullptr && mGeometricItem && mView.isKindOf(layout->shape, *mGeometricItem)) {
        mGeometricItems.emplace_back(record.id, record.line);
    }
    if (layout == nullptr) {
        for (const Item& item : record.items) {
            if (item.kind == Item::Kind::Reference) {
                checkReference(item, express::ExpressTypes::kAnyType);
            }
        }
        return;
    }
    checkPartials(record, *layout);
    checkUniqueRules(*layout);
}

// The layout of the record's entity names; null (with the reason reported)
// when a name is unknown or the parts of a complex instance are out of order.
const InstanceLayout* CheckingHandler::layoutOf(const Part21Record& record) {
    if (!partsInOrder(record, mEntities)) {
        return nullptr;
    }
    if (record.complex && mEntities.size() == 1) {
        // A complex instance of one part still needs the partial values of
        // its supertypes; the name twice lays it out as a complex instance.
        mEntities.push_back(mEntities.front());
    }
    const InstanceLayout& layout = mView.layout(mEntities);
    if (!layout.failure.empty()) {
        report(record.line, instanceText(record.id) + ": " + layout.failure);
        return nullptr;
    }
    return &layout;
}

bool CheckingHandler::partsInOrder(const Part21Record& record, std::vector<uint32_t>& entities) {
    entities.clear();
    bool known = true;
    std::string_view previous;
    for (const Part21Record::Part& part : record.parts) {
        const std::optional<uint32_t> entity = mView.schema().entityIndex(part.name);
        if (!entity && mPartialSchema && mForeign) {
            countUndeclared(part.name);
            known = false;
        } else if (!entity) {
            report(record.line, instanceText(record.id) + ": unknown entity " + std::string(part.name));
            known = false;
        } else {
            entities.push_back(*entity);
        }
        if (!previous.empty() && part.name <= previous) {
            report(record.line,
                   instanceText(record.id) + ": partial value " + std::string(part.name) +
                       (part.name == previous ? " appears twice"
                                              : " comes after " + std::string(previous) +
                                                    ": complex instances list them alphabetically"));
            known = false;
        }
        previous = part.name;
    }
    return known;
}

void CheckingHandler::checkPartials(const Part21Record& record, const InstanceLayout& layout) {
    auto part = record.parts.begin();
    for (const PartialLayout& partial : layout.partials) {
        mPartName = partial.upperName;
        if (part != record.parts.end() && part->name == partial.upperName) {
            checkParameters(*part++, partial);
        } else {
            report(record.line, instanceText(record.id) + ": the complex instance lacks the partial value " +
                                    partial.upperName + " of a supertype");
        }
    }
}

void CheckingHandler::checkParameters(const Part21Record::Part& part, const PartialLayout& partial) {
    mSlot = nullptr;
    std::vector<uint32_t>& parameters = mParameters;
    parameters.clear();
    for (uint32_t item = part.first; item < part.end; item = mRecord->items[item].next) {
        parameters.push_back(item);
    }
    if (parameters.size() != partial.slots.size()) {
        std::string names;
        for (const ParameterSlot& slot : partial.slots) {
            names += (names.empty() ? "" : ", ") + slot.attribute;
        }
        report(mRecord->line, where() + std::to_string(parameters.size()) + " parameters, the schema has " +
                                  std::to_string(partial.slots.size()) + " (" + names + ")");
        for (const uint32_t item : parameters) {
            checkValue({item, express::ExpressTypes::kAnyType, true});
        }
        return;
    }
    for (size_t i = 0; i < parameters.size(); ++i) {
        mSlot = &partial.slots[i];
        checkSlot(parameters[i], partial.slots[i]);
    }
    mSlot = nullptr;
}

void CheckingHandler::checkSlot(uint32_t index, const ParameterSlot& slot) {
    const Item& item = mRecord->items[index];
    if (slot.derived || item.kind == Item::Kind::Derived) {
        if (slot.derived != (item.kind == Item::Kind::Derived)) {
            report(lineOf(item), where() + (slot.derived ? "a subtype derives this attribute: expected '*'"
                                                         : "'*' for an attribute that is not derived"));
        }
        return;
    }
    if (item.kind == Item::Kind::Unset && !slot.optional) {
        report(lineOf(item), where() + "'$' for a mandatory attribute");
        return;
    }
    checkValue({index, slot.type, slot.optional});
}

// Mismatches of one kind within one value are reported once, with their
// number: a list of a million integers where reals are declared is one finding.
void CheckingHandler::mismatch(const Item& item, TypeId type, const std::string& detail) {
    std::string kind = " is not a value of " + mView.describe(type) + (detail.empty() ? "" : ": " + detail);
    for (Mismatch& seen : mMismatches) {
        if (seen.kind == kind) {
            ++seen.count;
            return;
        }
    }
    mMismatches.push_back({std::move(kind), quotedItem(item), lineOf(item), 1});
}

void CheckingHandler::reportMismatches() {
    for (const Mismatch& mismatch : mMismatches) {
        report(mismatch.line,
               where() + mismatch.first + mismatch.kind +
                   (mismatch.count > 1 ? " (" + std::to_string(mismatch.count - 1) + " more such value" +
                                             (mismatch.count > 2 ? "s" : "") + " in this parameter)"
                                       : ""));
    }
    mMismatches.clear();
}

// Checks one value and everything nested in it, pending values on a stack.
void CheckingHandler::checkValue(const PendingValue& root) {
    mValues.assign(1, root);
    checkValues();
    reportMismatches();
}

void CheckingHandler::checkValues() {
    using Resolved = ResolvedType::Kind;
    while (!mValues.empty()) {
        const PendingValue value = mValues.back();
        mValues.pop_back();
        const Item& item = mRecord->items[value.item];
        if (item.kind == Item::Kind::Unset || item.kind == Item::Kind::Derived) {
            if (item.kind == Item::Kind::Derived || !value.unsetAllowed) {
                report(lineOf(item), where() + "'" + std::string(item.text) + "' where a value is required");
            }
            continue;
        }
        const ResolvedType type = mView.resolve(value.type);
        if (type.kind == Resolved::Any) {
            for (uint32_t nested = value.item; nested < item.next; ++nested) {
                if (mRecord->items[nested].kind == Item::Kind::Reference) {
                    checkReference(mRecord->items[nested], value.type);
                }
            }
            continue;
        }
        if (item.kind == Item::Kind::Reference) {
            if (type.kind == Resolved::Entity || type.kind == Resolved::Select) {
                checkReference(item, value.type);
            } else {
                mismatch(item, value.type);
            }
            continue;
        }
        if (item.kind == Item::Kind::Typed) {
            const std::optional<TypeId> member =
                type.kind == Resolved::Select ? mView.typedMember(type.index, item.text) : std::nullopt;
            if (member) {
                mValues.push_back({value.item + 1, *member, false});
            } else if (mPartialSchema && mForeign && !mView.schema().types.definedType(item.text)) {
                countUndeclared(item.text);
            } else {
                mismatch(item, value.type,
                         type.kind == Resolved::Select ? "not one of its types" : "typed only in a SELECT");
            }
            continue;
        }
        if (item.kind == Item::Kind::List) {
            if (type.kind != Resolved::Aggregate || !checkAggregate(value, mView.declared(type.index))) {
                mismatch(item, value.type);
            }
            continue;
        }
        const bool accepted = [&] {
            switch (type.kind) {
                case Resolved::Integer:
                    return item.kind == Item::Kind::Integer;
                case Resolved::Real:
                    return item.kind == Item::Kind::Real;
                case Resolved::Number:
                    return item.kind == Item::Kind::Integer || item.kind == Item::Kind::Real;
                case Resolved::Boolean:
                    return item.text == ".T." || item.text == ".F.";
                case Resolved::Logical:
                    return item.text == ".T." || item.text == ".F." || item.text == ".U.";
                case Resolved::String:
                    return item.kind == Item::Kind::String;
                case Resolved::Binary:
                    return item.kind == Item::Kind::Binary;
                case Resolved::Enumeration:
                    return item.kind == Item::Kind::Enumeration &&
                           mView.hasEnumerationItem(type.index, item.text.substr(1, item.text.size() - 2));
                default:
                    return false;
            }
        }();
        if (!accepted) {
            const bool integerForReal = type.kind == Resolved::Real && item.kind == Item::Kind::Integer;
            mismatch(item, value.type,
                     integerForReal ? "a REAL needs a decimal point"
                     : type.kind == Resolved::Select
                         ? "a value of a SELECT that is not an instance needs its type, "
                           "NAME(value)"
                         : "");
        }
    }
}

// Pushes the elements after checking their number against the bounds; false
// when the list is not such an aggregate at all.
bool CheckingHandler::checkAggregate(const PendingValue& value, const DeclaredType& aggregate) {
    const Item& list = mRecord->items[value.item];
    const size_t firstElement = mValues.size();
    int64_t count = 0;
    for (uint32_t element = value.item + 1; element < list.next; element = mRecord->items[element].next) {
        mValues.push_back({element, aggregate.element, aggregate.optionalElements});
        ++count;
    }
    std::reverse(mValues.begin() + static_cast<long>(firstElement), mValues.end());
    if (aggregate.aggregate == DeclaredType::Aggregate::Set) {
        checkDistinctMembers(value.item);
    }
    // An ARRAY's bounds are its first and last index: it has exactly that many elements.
    const bool isArray = aggregate.aggregate == DeclaredType::Aggregate::Array;
    const int64_t lower = isArray && aggregate.upper != DeclaredType::kUnbounded
                              ? aggregate.upper - aggregate.lower + 1
                              : aggregate.lower;
    const int64_t upper = isArray ? lower : aggregate.upper;
    if (count < lower || (upper != DeclaredType::kUnbounded && count > upper)) {
        report(lineOf(list), where() + std::to_string(count) + " element" + (count == 1 ? "" : "s") +
                                 " where " + mView.describe(value.type) + " is declared");
    }
    return true;
}

// Members written alike are one value: a SET holds each once. A typed
// member is compared with its value; nested aggregates are left alone.
void CheckingHandler::checkDistinctMembers(uint32_t list) {
    const std::vector<Part21Item>& items = mRecord->items;
    mMembers.clear();
    for (uint32_t element = list + 1; element < items[list].next; element = items[element].next) {
        if (items[element].kind != Item::Kind::List) {
            mMembers.push_back(writtenText(items, element));
        }
    }
    std::sort(mMembers.begin(), mMembers.end());
    for (auto repeated = std::adjacent_find(mMembers.begin(), mMembers.end()); repeated != mMembers.end();
         repeated =
             std::adjacent_find(std::upper_bound(repeated, mMembers.end(), *repeated), mMembers.end())) {
        report(lineOf(items[list]), where() + "'" + std::string(*repeated) + "' more than once in a SET");
    }
}

void CheckingHandler::checkUniqueRules(const InstanceLayout& layout) {
    for (const UniqueCheck& check : layout.uniqueChecks) {
        if (!uniqueKey(layout, check)) {
            continue;
        }
        const auto [first, added] = mUniqueValues.try_emplace(mUniqueKey, mRecord->id);
        if (!added && first->second != mRecord->id) {
            report(mRecord->line, instanceText(mRecord->id) + ": UNIQUE rule " + check.name +
                                      " broken: the same " + check.attributes + " as " +
                                      instanceText(first->second));
        }
    }
}

// The rule and its attributes' values: a reference as '#', its instance
// number and a blank, any other value after its length, so that two tuples
// cannot run together. False when a value is unset or derived: such an
// instance takes no part in the rule (nor one whose parameters do not match
// the attributes).
bool CheckingHandler::uniqueKey(const InstanceLayout& layout, const UniqueCheck& check) {
    mUniqueKey.clear();
    appendNumber(mUniqueKey, check.entity, '.');
    appendNumber(mUniqueKey, check.rule, ' ');
    for (const UniqueCheck::Position position : check.positions) {
        const std::optional<uint32_t> index = parameterAt(layout, position);
        const Item* const item = index ? &mRecord->items[*index] : nullptr;
        if (item == nullptr || item->kind == Item::Kind::Unset || item->kind == Item::Kind::Derived) {
            return false;
        }
        if (const std::optional<uint64_t> target = referencedId(*item)) {
            mUniqueKey += '#';
            appendNumber(mUniqueKey, *target, ' ');
        } else {
            const std::string_view value = writtenText(mRecord->items, *index);
            appendNumber(mUniqueKey, value.size(), ':');
            mUniqueKey += value;
        }
    }
    return true;
}

std::optional<uint32_t> CheckingHandler::parameterAt(const InstanceLayout& layout,
                                                     UniqueCheck::Position position) const {
    const PartialLayout& partial = layout.partials[position.partial];
    const auto part = std::find_if(
        mRecord->parts.begin(), mRecord->parts.end(),
        [&](const Part21Record::Part& candidate) { return candidate.name == partial.upperName; });
    if (part == mRecord->parts.end()) {
        return std::nullopt;
    }
    std::optional<uint32_t> found;
    size_t count = 0;
    for (uint32_t item = part->first; item < part->end; item = mRecord->items[item].next, ++count) {
        found = count == position.slot ? std::optional<uint32_t>(item) : found;
    }
    return count == partial.slots.size() ? found : std::nullopt;
}

void CheckingHandler::reportUnusedGeometry() {
    std::sort(mReferenced.begin(), mReferenced.end());
    for (const auto& [id, line] : mGeometricItems) {
        if (!std::binary_search(mReferenced.begin(), mReferenced.end(), id)) {
            report(line,
                   instanceText(id) + ": a geometric item that nothing refers to, in no representation");
        }
    }
}

void CheckingHandler::checkReference(const Item& item, TypeId type) {
    PendingReference reference{0, lineOf(item), {mRecord->id, mPartName, mSlot}, type};
    const std::optional<uint64_t> target = referencedId(item);
    if (!target) {
        report(reference.line, where() + "reference " + std::string(item.text) + " out of range");
        return;
    }
    reference.target = *target;
    mReferenced.push_back(reference.target);
    if (const std::optional<uint32_t> shape = mInstances.shapeOf(reference.target)) {
        checkReferenceTarget(reference, *shape);
    } else {
        mPending.push_back(reference);
    }
}

void CheckingHandler::checkReferenceTarget(const PendingReference& reference, uint32_t shape) {
    if (!mView.accepts(reference.type, shape)) {
        report(reference.line, originText(reference.origin) + instanceText(reference.target) +
                                   " is not a value of " + mView.describe(reference.type));
    }
}

void CheckingHandler::checkStrings() {
    for (const Item& item : mRecord->items) {
        if (item.kind != Item::Kind::String) {
            continue;
        }
        const StringProblem problem = checkPart21String(item.text.substr(1, item.text.size() - 2));
        if (problem != StringProblem::None) {
            report(lineOf(item),
                   (mRecord->id == 0 ? std::string(mRecord->parts.front().name) : instanceText(mRecord->id)) +
                       ": string " + quotedItem(item) + ": " + describe(problem),
                   problem == StringProblem::OutsideBasicAlphabet ? Severity::Warning : Severity::Error);
        }
    }
}

void CheckingHandler::countUndeclared(std::string_view entity) {
    ++mReport.undeclared;
    if (mUndeclared.find(entity) == mUndeclared.end()) {
        mUndeclared.emplace(entity);
    }
}

Part21CheckReport CheckingHandler::finish() {
    mReport.undeclaredEntities.assign(mUndeclared.begin(), mUndeclared.end());
    for (const PendingReference& reference : mPending) {
        if (const std::optional<uint32_t> shape = mInstances.shapeOf(reference.target)) {
            checkReferenceTarget(reference, *shape);
        } else {
            report(reference.line,
                   originText(reference.origin) + instanceText(reference.target) + " is not defined");
        }
    }
    reportUnusedGeometry();
    std::stable_sort(mReport.findings.begin(), mReport.findings.end(),
                     [](const Part21Finding& a, const Part21Finding& b) { return a.line < b.line; });
    return std::move(mReport);
}

}  // namespace

Part21Checker::Part21Checker() = default;
Part21Checker::~Part21Checker() = default;

bool Part21Checker::loadSchema(const std::string& path, std::string& error) {
    auto schema = std::make_unique<Part21Schema>();
    if (!schema->load(path, error)) {
        return false;
    }
    mSchema = std::move(schema);
    return true;
}

Part21CheckReport Part21Checker::checkText(std::string_view text, const Part21CheckOptions& options) const {
    static const Part21Schema kEmpty;
    CheckingHandler handler(mSchema ? *mSchema : kEmpty, options);
    Part21Reader(text, handler).read();
    return handler.finish();
}

bool Part21Checker::checkFile(const std::string& path, Part21CheckReport& report, std::string& error,
                              const Part21CheckOptions& options) const {
    try {
        report = checkText(readWholeFile(path), options);
        return true;
    } catch (const ReadError& failure) {
        error = failure.what();
        return false;
    }
}

}  // namespace ov::step
