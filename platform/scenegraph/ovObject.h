#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ov {

// Run-time type descriptor: a name and the descriptor of the base class.
class ovRtti {
public:
    constexpr ovRtti(const char* name, const ovRtti* base) : mName(name), mBase(base) {}
    const char* GetName() const { return mName; }
    bool IsDerived(const ovRtti& type) const;

private:
    const char* mName;
    const ovRtti* mBase;
};

class ovRttiInterface {
public:
    // The shared empty text that name queries answer by reference.
    static const std::string sEmptyString;

    virtual ~ovRttiInterface();
    virtual const ovRtti& GetType() const = 0;
    bool IsExactly(const ovRtti& type) const { return &GetType() == &type; }
    bool IsDerived(const ovRtti& type) const { return GetType().IsDerived(type); }
};

#define OV_DECLARE_RTTI                            \
public:                                            \
    static const ::ov::ovRtti TYPE;                \
    const ::ov::ovRtti& GetType() const override { \
        return TYPE;                               \
    }

#define OV_IMPLEMENT_RTTI(Class, Base) const ::ov::ovRtti Class::TYPE(#Class, &Base::TYPE)

// Base of every scene object: run-time type, name, unique id and an intrusive
// reference count. An object deletes itself when its last reference goes.
class ovObject : public ovRttiInterface {
public:
    static const ovRtti TYPE;
    const ovRtti& GetType() const override { return TYPE; }

    ovObject();
    ~ovObject() override;
    ovObject(const ovObject&) = delete;
    ovObject& operator=(const ovObject&) = delete;

    void IncrementReferences() { ++mReferences; }
    void DecrementReferences();
    int GetReferences() const { return mReferences; }

    virtual const std::string& GetName() const { return mName; }
    virtual void SetName(const std::string& name) { mName = name; }
    uint32_t GetID() const { return mId; }

    // Searches this object (and, in subclasses, what it owns).
    virtual ovObject* GetObjectByName(const std::string& name);
    virtual void GetAllObjectsByName(const std::string& name, std::vector<ovObject*>& objects);
    virtual ovObject* GetObjectByID(uint32_t id);

private:
    std::string mName;
    uint32_t mId;
    int mReferences = 0;
};

// Holds one reference on an object.
template <typename T>
class ovPointer {
public:
    ovPointer() = default;
    ovPointer(T* object) : mObject(object) { acquire(); }
    ovPointer(const ovPointer& other) : mObject(other.mObject) { acquire(); }
    template <typename U>
    ovPointer(const ovPointer<U>& other) : mObject(other.get()) {
        acquire();
    }
    ovPointer(ovPointer&& other) noexcept : mObject(std::exchange(other.mObject, nullptr)) {}
    ~ovPointer() { release(); }

    ovPointer& operator=(const ovPointer& other) {
        ovPointer copy(other);
        std::swap(mObject, copy.mObject);
        return *this;
    }
    ovPointer& operator=(ovPointer&& other) noexcept {
        ovPointer moved(std::move(other));
        std::swap(mObject, moved.mObject);
        return *this;
    }

    T* get() const { return mObject; }
    T* operator->() const { return mObject; }
    T& operator*() const { return *mObject; }
    explicit operator bool() const { return mObject != nullptr; }
    bool operator==(const ovPointer& other) const { return mObject == other.mObject; }
    bool operator==(const T* object) const { return mObject == object; }

private:
    void acquire() {
        if (mObject) {
            mObject->IncrementReferences();
        }
    }
    void release() {
        if (mObject) {
            mObject->DecrementReferences();
        }
    }

    T* mObject = nullptr;
};

using ovObjectList = std::vector<ovPointer<ovObject>>;

}  // namespace ov
