#include "step/Part21WriterUserData.h"

namespace ov::step {

Part21WriterUserData::Part21WriterUserData(Type kind) : type(kind) {}

Part21WriterUserData::Part21WriterUserData(const std::string& literal)
    : type(EnumValue), name(std::make_unique<const std::string>(literal)) {}

Part21WriterUserData::Part21WriterUserData(const std::string& typeName, double value)
    : type(TypedReal), name(std::make_unique<const std::string>(typeName)) {
    number.real = value;
}

Part21WriterUserData& Part21WriterUserData::operator=(const Part21WriterUserData& other) {
    if (this != &other) {
        type = other.type;
        number = other.number;
        name = other.name ? std::make_unique<const std::string>(*other.name) : nullptr;
    }
    return *this;
}

const std::string& Part21WriterUserData::getEnumValue() const {
    static const std::string kNone;
    return name ? *name : kNone;
}

Part21WriterUserData* Part21WriterUserData::createCopy() const {
    return new Part21WriterUserData(*this);
}

bool Part21WriterUserData::isEqualTo(const ovVariant::UserDataInterface& other) const {
    const auto* same = dynamic_cast<const Part21WriterUserData*>(&other);
    return same != nullptr && *this == *same;
}

bool Part21WriterUserData::operator==(const Part21WriterUserData& other) const {
    return type == other.type && getRef() == other.getRef() && getEnumValue() == other.getEnumValue() &&
           getReal() == other.getReal();
}

ovVariant Part21WriterUserData::toVariant() const {
    return ovVariant(static_cast<const ovVariant::UserDataInterface&>(*this));
}

}  // namespace ov::step
