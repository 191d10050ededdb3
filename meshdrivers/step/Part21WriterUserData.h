#pragma once

#include <cstdint>
#include <string>

#include "core/ovMeshDriversExport.h"
#include "system/ovVariant.h"

namespace ov::step {

// The Part 21 tokens a plain variant cannot hold: an entity reference, an
// enumeration literal and the typed value IDENTIFIER('.'). They travel inside a
// variant as its user data.
class OVMESHDRIVERS_API Part21WriterUserData : public ovVariant::UserDataInterface {
public:
    enum Type : int32_t {
        Undefined = 0,
        Ref = 1,            // "#" followed by the instance number
        EnumValue = 2,      // the literal between full stops
        DotIdentifier = 3,  // IDENTIFIER('.')
    };

    explicit Part21WriterUserData(Type kind = Undefined);
    // An enumeration literal, without its full stops.
    explicit Part21WriterUserData(const std::string& literal);
    // A reference to the instance with this id.
    explicit Part21WriterUserData(uint64_t instanceId);

    Part21WriterUserData(const Part21WriterUserData& other);
    Part21WriterUserData& operator=(const Part21WriterUserData& other);
    ~Part21WriterUserData() override;

    Part21WriterUserData* createCopy() const override;
    bool isEqualTo(const ovVariant::UserDataInterface& other) const override;

    Type getType() const { return type; }
    uint64_t getRef() const { return ref; }
    const std::string& getEnumValue() const { return enumValue; }

    bool operator==(const Part21WriterUserData& other) const;
    bool operator!=(const Part21WriterUserData& other) const { return !(*this == other); }

    // A variant holding a copy of this value, ready for an attribute value map.
    ovVariant toVariant() const;

private:
    Type type;
    uint64_t ref;
    std::string enumValue;
};

}  // namespace ov::step
