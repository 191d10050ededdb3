#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <variant>

namespace ov {

class ovVariantListImpl;
class ovVariantMapImpl;

// A point in time: milliseconds since 1970-01-01T00:00:00 UTC.
struct ovDateTime {
    int64_t millisecondsSinceEpoch = 0;
    bool operator==(const ovDateTime&) const = default;
};

// Integer types that have no constructor of their own in ovVariant.
template <class T>
concept ovOtherInteger =
    std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, int> && !std::same_as<T, int64_t>;

// Typed value of metadata and of attribute values. The numeric type codes are
// stable: writers switch on them.
class ovVariant {
public:
    enum Type : int {
        Empty = 0,
        Integer = 1,
        Real = 2,
        String = 3,
        Boolean = 4,
        Vec2d = 5,
        Vec3d = 6,
        Vec4d = 7,
        List = 11,
        Map = 12,
        DateTime = 14,
        UserData = 15,
    };

    // Opaque payload of a client; the variant owns it and copies it through createCopy.
    class UserDataInterface {
    public:
        virtual ~UserDataInterface();
        virtual UserDataInterface* createCopy() const = 0;
        virtual bool isEqualTo(const UserDataInterface& other) const = 0;
        // A small class may live inside the variant instead of on the heap, so
        // that values made by the hundred thousand (a writer's references)
        // cost no allocation: see InPlaceUserData.
        virtual bool fitsInPlace() const;
        // Constructs a copy of this at place; called only when fitsInPlace.
        virtual void copyInPlace(void* place) const;
    };

    // Room for user data inside the variant, the size of its largest other value.
    static constexpr size_t kInPlaceUserDataSize = 32;

    // Base of a user data class that fits inside the variant: its values are
    // copied there, never to the heap. Derived has this as its only base.
    template <class Derived>
    class InPlaceUserData : public UserDataInterface {
    public:
        bool fitsInPlace() const override {
            static_assert(sizeof(Derived) <= kInPlaceUserDataSize && alignof(Derived) <= alignof(void*));
            return true;
        }
        void copyInPlace(void* place) const override {
            new (place) Derived(static_cast<const Derived&>(*this));
        }
    };

    ovVariant();
    ovVariant(int value);
    ovVariant(int64_t value);
    // Any other integer type (unsigned, size_t, long long...) is stored as a
    // signed 64-bit integer, so that such values do not make calls ambiguous.
    template <ovOtherInteger T>
    ovVariant(T value) : ovVariant(static_cast<int64_t>(value)) {}
    ovVariant(double value);
    ovVariant(bool value);
    // A null text makes an empty variant.
    ovVariant(const char* text);
    ovVariant(std::string text);
    // 2, 3 or 4 components make a vector of doubles; any other count makes an empty variant.
    ovVariant(const double* components, int count);
    ovVariant(const float* components, int count);
    ovVariant(const ovVariantListImpl& list);
    ovVariant(const ovVariantMapImpl& map);
    // A list or map given as a temporary is taken, not copied.
    ovVariant(ovVariantListImpl&& list);
    ovVariant(ovVariantMapImpl&& map);
    ovVariant(ovDateTime dateTime);
    // Takes ownership of userData (null makes an empty variant).
    explicit ovVariant(UserDataInterface* userData);
    // Holds a copy of userData, inside the variant when it fits there.
    explicit ovVariant(const UserDataInterface& userData);

    ovVariant(const ovVariant& other);
    ovVariant(ovVariant&& other) noexcept;
    ovVariant& operator=(const ovVariant& other);
    ovVariant& operator=(ovVariant&& other) noexcept;
    ~ovVariant();

    // In line: writers ask it of every value they write.
    Type getType() const {
        // Storage left without a value by a failed allocation counts as empty.
        return mValue.valueless_by_exception() ? Empty : kTypeOfIndex[mValue.index()];
    }
    bool isEmpty() const { return getType() == Empty; }

    // Conversions answer a neutral value (0, false, empty) when the kind does not
    // convert; a text is never read as a number, a truth value or a date.
    std::string toString() const;
    double toReal() const;
    int64_t toInteger() const;
    bool toBool() const;
    ovDateTime toDateTime() const;

    // Accessors of the stored kind; they answer an empty text, null or an empty
    // list/map when the variant holds another kind.
    const std::string& getString() const;
    const double* getVec2d() const;
    const double* getVec3d() const;
    const double* getVec4d() const;
    const ovVariantListImpl& getList() const;
    const ovVariantMapImpl& getMap() const;
    UserDataInterface* getUserData() const {
        if (const auto* inPlace = std::get_if<InPlaceHolder>(&mValue)) {
            return inPlace->get();
        }
        const auto* holder = std::get_if<UserDataHolder>(&mValue);
        return holder ? holder->data.get() : nullptr;
    }

    bool operator==(const ovVariant& other) const;
    bool operator!=(const ovVariant& other) const { return !(*this == other); }

private:
    struct UserDataHolder {
        std::unique_ptr<UserDataInterface> data;
    };
    // User data that fits in place; its interface lies at the start of the
    // bytes, as that of a class with one base does.
    class InPlaceHolder {
    public:
        explicit InPlaceHolder(const UserDataInterface& source) { source.copyInPlace(mBytes); }
        InPlaceHolder(const InPlaceHolder& other) : InPlaceHolder(*other.get()) {}
        // Moves of the variant assign through this: a copy that fails to
        // allocate ends the process rather than leave a destroyed value behind.
        InPlaceHolder& operator=(const InPlaceHolder& other) noexcept {
            if (this != &other) {
                get()->~UserDataInterface();
                other.get()->copyInPlace(mBytes);
            }
            return *this;
        }
        ~InPlaceHolder() { get()->~UserDataInterface(); }
        UserDataInterface* get() const {
            return std::launder(reinterpret_cast<UserDataInterface*>(const_cast<std::byte*>(mBytes)));
        }

    private:
        alignas(void*) std::byte mBytes[kInPlaceUserDataSize];
    };
    using Storage =
        std::variant<std::monostate, int64_t, double, std::string, bool, std::array<double, 2>,
                     std::array<double, 3>, std::array<double, 4>, std::shared_ptr<const ovVariantListImpl>,
                     std::shared_ptr<const ovVariantMapImpl>, ovDateTime, UserDataHolder, InPlaceHolder>;
    // Type code of each alternative of the storage, in declaration order.
    static constexpr Type kTypeOfIndex[] = {
        Empty, Integer, Real, String, Boolean, Vec2d, Vec3d, Vec4d, List, Map, DateTime, UserData, UserData,
    };
    static_assert(std::size(kTypeOfIndex) == std::variant_size_v<Storage>);

    Storage mValue;
};

}  // namespace ov
