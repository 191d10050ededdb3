#include "step/Part21WriterUserData.h"

namespace ov::step {

Part21WriterUserData::Part21WriterUserData(Type kind) : type(kind), ref(0) {}

Part21WriterUserData::Part21WriterUserData(const std::string& literal)
    : type(EnumValue), ref(0), enumValue(literal) {}

Part21WriterUserData::Part21WriterUserData(uint64_t instanceId) : type(Ref), ref(instanceId) {}

Part21WriterUserData::Part21WriterUserData(const std::string& typeName, double value)
    : type(TypedReal), ref(0), real(value), enumValue(typeName) {}

Part21WriterUserData::Part21WriterUserData(const Part21WriterUserData& other) = default;

Part21WriterUserData& Part21WriterUserData::operator=(const Part21WriterUserData& other) = default;

Part21WriterUserData::~Part21WriterUserData() = default;

Part21WriterUserData* Part21WriterUserData::createCopy() const {
    return new Part21WriterUserData(*this);
}

bool Part21WriterUserData::isEqualTo(const ovVariant::UserDataInterface& other) const {
    const auto* same = dynamic_cast<const Part21WriterUserData*>(&other);
    return same != nullptr && *this == *same;
}

bool Part21WriterUserData::operator==(const Part21WriterUserData& other) const {
    return type == other.type && ref == other.ref && enumValue == other.enumValue &&
           (type != TypedReal || real == other.real);
}

ovVariant Part21WriterUserData::toVariant() const {
    return ovVariant(createCopy());
}

}  // namespace ov::step
