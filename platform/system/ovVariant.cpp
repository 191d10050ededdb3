#include "system/ovVariant.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <type_traits>
#include <utility>

#include "system/ovCalendar.h"
#include "system/ovStringUtils.h"
#include "system/ovVariantContainers.h"

namespace ov {

namespace {

template <class T, class... Ts>
constexpr bool kIsOneOf = (std::is_same_v<T, Ts> || ...);

int64_t truncateToInteger(double value) {
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= kLimit) {
        return std::numeric_limits<int64_t>::max();
    }
    if (value < -kLimit) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(value);
}

std::string realToString(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

template <size_t N>
std::string vectorToString(const std::array<double, N>& components) {
    std::string text;
    for (size_t i = 0; i < N; ++i) {
        if (i > 0) {
            text += ' ';
        }
        text += realToString(components[i]);
    }
    return text;
}

// Texts inside a list or map are quoted, so that the text of a container tells
// its items apart whatever they hold: [] from [""], ["", a] from [a], 1 from "1".
std::string quoted(const std::string& text) {
    std::string result = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            result += '\\';
        }
        result += c;
    }
    return result + '"';
}

std::string itemToString(const ovVariant& item) {
    return item.getType() == ovVariant::String ? quoted(item.getString()) : item.toString();
}

std::string dateTimeToString(ovDateTime dateTime) {
    const calendar::Fields fields = calendar::fromMilliseconds(dateTime.millisecondsSinceEpoch);
    return calendar::formatDateTime(fields) + '.' + ovStringUtils::fromInt(fields.millisecond, 3) + 'Z';
}

}  // namespace

ovVariant::UserDataInterface::~UserDataInterface() = default;

bool ovVariant::UserDataInterface::fitsInPlace() const {
    return false;
}

void ovVariant::UserDataInterface::copyInPlace(void*) const {}

ovVariant::ovVariant() = default;
ovVariant::ovVariant(int value) : mValue(std::in_place_type<int64_t>, value) {}
ovVariant::ovVariant(int64_t value) : mValue(std::in_place_type<int64_t>, value) {}
ovVariant::ovVariant(double value) : mValue(std::in_place_type<double>, value) {}
ovVariant::ovVariant(bool value) : mValue(std::in_place_type<bool>, value) {}

ovVariant::ovVariant(const char* text) {
    if (text) {
        mValue.emplace<std::string>(text);
    }
}

ovVariant::ovVariant(std::string text) : mValue(std::in_place_type<std::string>, std::move(text)) {}

namespace {

template <class Component, class Storage>
void storeVector(Storage& storage, const Component* components, int count) {
    if (!components) {
        return;
    }
    auto fill = [&](auto& target) {
        for (size_t i = 0; i < target.size(); ++i) {
            target[i] = static_cast<double>(components[i]);
        }
    };
    switch (count) {
        case 2:
            fill(storage.template emplace<std::array<double, 2>>());
            break;
        case 3:
            fill(storage.template emplace<std::array<double, 3>>());
            break;
        case 4:
            fill(storage.template emplace<std::array<double, 4>>());
            break;
        default:
            break;
    }
}

}  // namespace

ovVariant::ovVariant(const double* components, int count) {
    storeVector(mValue, components, count);
}
ovVariant::ovVariant(const float* components, int count) {
    storeVector(mValue, components, count);
}

ovVariant::ovVariant(const ovVariantListImpl& list)
    : mValue(std::in_place_type<std::shared_ptr<const ovVariantListImpl>>,
             std::make_shared<const ovVariantListImpl>(list)) {}

ovVariant::ovVariant(const ovVariantMapImpl& map)
    : mValue(std::in_place_type<std::shared_ptr<const ovVariantMapImpl>>,
             std::make_shared<const ovVariantMapImpl>(map)) {}

ovVariant::ovVariant(ovVariantListImpl&& list)
    : mValue(std::in_place_type<std::shared_ptr<const ovVariantListImpl>>,
             std::make_shared<const ovVariantListImpl>(std::move(list))) {}

ovVariant::ovVariant(ovVariantMapImpl&& map)
    : mValue(std::in_place_type<std::shared_ptr<const ovVariantMapImpl>>,
             std::make_shared<const ovVariantMapImpl>(std::move(map))) {}

ovVariant::ovVariant(ovDateTime dateTime) : mValue(std::in_place_type<ovDateTime>, dateTime) {}

ovVariant::ovVariant(UserDataInterface* userData) {
    if (userData) {
        mValue.emplace<UserDataHolder>().data.reset(userData);
    }
}

ovVariant::ovVariant(const UserDataInterface& userData) {
    if (userData.fitsInPlace()) {
        mValue.emplace<InPlaceHolder>(userData);
    } else {
        mValue.emplace<UserDataHolder>().data.reset(userData.createCopy());
    }
}

ovVariant::ovVariant(const ovVariant& other) {
    // Lists and maps are immutable once stored, so copies share them; user data
    // is the client's and is copied through its own interface.
    std::visit(
        [this](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, UserDataHolder>) {
                if (value.data) {
                    mValue.emplace<UserDataHolder>().data.reset(value.data->createCopy());
                }
            } else {
                mValue.emplace<T>(value);
            }
        },
        other.mValue);
}

ovVariant::ovVariant(ovVariant&& other) noexcept : mValue(std::move(other.mValue)) {
    other.mValue.emplace<std::monostate>();
}

ovVariant& ovVariant::operator=(const ovVariant& other) {
    if (this != &other) {
        ovVariant copy(other);
        mValue = std::move(copy.mValue);
    }
    return *this;
}

ovVariant& ovVariant::operator=(ovVariant&& other) noexcept {
    if (this != &other) {
        mValue = std::move(other.mValue);
        other.mValue.emplace<std::monostate>();
    }
    return *this;
}

ovVariant::~ovVariant() = default;

std::string ovVariant::toString() const {
    return std::visit(
        [](const auto& value) -> std::string {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return {};
            } else if constexpr (std::is_same_v<T, int64_t>) {
                return ovStringUtils::fromInt(value, 1);
            } else if constexpr (std::is_same_v<T, double>) {
                return realToString(value);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return value;
            } else if constexpr (std::is_same_v<T, bool>) {
                return value ? "true" : "false";
            } else if constexpr (kIsOneOf<T, std::array<double, 2>, std::array<double, 3>,
                                          std::array<double, 4>>) {
                return vectorToString(value);
            } else if constexpr (std::is_same_v<T, std::shared_ptr<const ovVariantListImpl>>) {
                std::string text = "[";
                const char* separator = "";
                for (const ovVariant& item : *value) {
                    text += std::exchange(separator, ", ");
                    text += itemToString(item);
                }
                return text + ']';
            } else if constexpr (std::is_same_v<T, std::shared_ptr<const ovVariantMapImpl>>) {
                std::string text = "{";
                const char* separator = "";
                for (const auto& [key, item] : *value) {
                    text += std::exchange(separator, ", ");
                    text += quoted(key);
                    text += ": ";
                    text += itemToString(item);
                }
                return text + '}';
            } else if constexpr (std::is_same_v<T, ovDateTime>) {
                return dateTimeToString(value);
            } else {
                static_assert(kIsOneOf<T, UserDataHolder, InPlaceHolder>);
                return "<user data>";
            }
        },
        mValue);
}

double ovVariant::toReal() const {
    if (const auto* real = std::get_if<double>(&mValue)) {
        return *real;
    }
    return static_cast<double>(toInteger());
}

int64_t ovVariant::toInteger() const {
    if (const auto* integer = std::get_if<int64_t>(&mValue)) {
        return *integer;
    }
    if (const auto* real = std::get_if<double>(&mValue)) {
        return truncateToInteger(*real);
    }
    if (const auto* boolean = std::get_if<bool>(&mValue)) {
        return *boolean ? 1 : 0;
    }
    if (const auto* dateTime = std::get_if<ovDateTime>(&mValue)) {
        return dateTime->millisecondsSinceEpoch;
    }
    return 0;
}

bool ovVariant::toBool() const {
    if (const auto* boolean = std::get_if<bool>(&mValue)) {
        return *boolean;
    }
    if (const auto* real = std::get_if<double>(&mValue)) {
        return *real != 0.0;
    }
    return toInteger() != 0;
}

ovDateTime ovVariant::toDateTime() const {
    if (const auto* dateTime = std::get_if<ovDateTime>(&mValue)) {
        return *dateTime;
    }
    if (std::holds_alternative<int64_t>(mValue) || std::holds_alternative<double>(mValue)) {
        return {toInteger()};
    }
    return {};
}

const std::string& ovVariant::getString() const {
    static const std::string kEmpty;
    const auto* text = std::get_if<std::string>(&mValue);
    return text ? *text : kEmpty;
}

const double* ovVariant::getVec2d() const {
    const auto* vector = std::get_if<std::array<double, 2>>(&mValue);
    return vector ? vector->data() : nullptr;
}

const double* ovVariant::getVec3d() const {
    const auto* vector = std::get_if<std::array<double, 3>>(&mValue);
    return vector ? vector->data() : nullptr;
}

const double* ovVariant::getVec4d() const {
    const auto* vector = std::get_if<std::array<double, 4>>(&mValue);
    return vector ? vector->data() : nullptr;
}

const ovVariantListImpl& ovVariant::getList() const {
    static const ovVariantListImpl kEmpty;
    const auto* list = std::get_if<std::shared_ptr<const ovVariantListImpl>>(&mValue);
    return list && *list ? **list : kEmpty;
}

const ovVariantMapImpl& ovVariant::getMap() const {
    static const ovVariantMapImpl kEmpty;
    const auto* map = std::get_if<std::shared_ptr<const ovVariantMapImpl>>(&mValue);
    return map && *map ? **map : kEmpty;
}

bool ovVariant::operator==(const ovVariant& other) const {
    // User data compares by its own rule wherever it is held.
    if (getType() == UserData && other.getType() == UserData) {
        const UserDataInterface* mine = getUserData();
        const UserDataInterface* theirs = other.getUserData();
        return mine == theirs || (mine && theirs && mine->isEqualTo(*theirs));
    }
    if (mValue.index() != other.mValue.index()) {
        return false;
    }
    return std::visit(
        [&other](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            const T& otherValue = std::get<T>(other.mValue);
            if constexpr (kIsOneOf<T, UserDataHolder, InPlaceHolder>) {
                return false;  // compared above
            } else if constexpr (kIsOneOf<T, std::shared_ptr<const ovVariantListImpl>,
                                          std::shared_ptr<const ovVariantMapImpl>>) {
                return value == otherValue || (value && otherValue && *value == *otherValue);
            } else {
                return value == otherValue;
            }
        },
        mValue);
}

}  // namespace ov
