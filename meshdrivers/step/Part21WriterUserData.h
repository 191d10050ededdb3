#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/ovMeshDriversExport.h"
#include "system/ovVariant.h"

namespace ov::step {

// The Part 21 tokens a plain variant cannot hold: an entity reference, an
// enumeration literal and the typed value IDENTIFIER('.'). They travel inside a
// variant as its user data, held inside the variant: a save passes hundreds of
// thousands of references around.
class OVMESHDRIVERS_API Part21WriterUserData : public ovVariant::InPlaceUserData<Part21WriterUserData> {
public:
    enum Type : int32_t {
        Undefined = 0,
        Ref = 1,            // "#" followed by the instance number
        EnumValue = 2,      // the literal between full stops
        DotIdentifier = 3,  // IDENTIFIER('.')
        TypedReal = 4,      // a real inside its defined type: LENGTH_MEASURE(25.4)
    };

    explicit Part21WriterUserData(Type kind = Undefined);
    // An enumeration literal, without its full stops.
    explicit Part21WriterUserData(const std::string& literal);
    // A reference to the instance with this id.
    explicit Part21WriterUserData(uint64_t instanceId) : type(Ref) { number.ref = instanceId; }
    // A real written inside the defined type typeName (upper case).
    Part21WriterUserData(const std::string& typeName, double value);

    // In line: the variant copies a token each time it moves one.
    Part21WriterUserData(const Part21WriterUserData& other)
        : InPlaceUserData(other),
          type(other.type),
          number(other.number),
          name(other.name ? std::make_unique<const std::string>(*other.name) : nullptr) {}
    Part21WriterUserData& operator=(const Part21WriterUserData& other);
    ~Part21WriterUserData() override = default;

    Part21WriterUserData* createCopy() const override;
    bool isEqualTo(const ovVariant::UserDataInterface& other) const override;

    Type getType() const { return type; }
    uint64_t getRef() const { return type == Ref ? number.ref : 0; }
    // The literal of an EnumValue, the type name of a TypedReal.
    const std::string& getEnumValue() const;
    double getReal() const { return type == TypedReal ? number.real : 0; }

    bool operator==(const Part21WriterUserData& other) const;
    bool operator!=(const Part21WriterUserData& other) const { return !(*this == other); }

    // A variant holding a copy of this value, ready for an attribute value map.
    ovVariant toVariant() const;

private:
    Type type;
    // Which one the type tells.
    union {
        uint64_t ref;
        double real;
    } number{};
    // Held apart, which keeps a token small enough for the variant's own room.
    std::unique_ptr<const std::string> name;
};

}  // namespace ov::step
