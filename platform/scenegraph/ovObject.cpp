#include "scenegraph/ovObject.h"

#include <atomic>

namespace ov {

namespace {

// Ids are never reused within a process, so an id found in a log line or a
// saved file names one object only. 0 is left free to mean "no object".
uint32_t nextObjectId() {
    static std::atomic<uint32_t> lastId{0};
    return ++lastId;
}

}  // namespace

const std::string ovRttiInterface::sEmptyString;

ovRttiInterface::~ovRttiInterface() = default;

bool ovRtti::IsDerived(const ovRtti& type) const {
    for (const ovRtti* candidate = this; candidate != nullptr; candidate = candidate->mBase) {
        if (candidate == &type) {
            return true;
        }
    }
    return false;
}

const ovRtti ovObject::TYPE("ovObject", nullptr);

ovObject::ovObject() : mId(nextObjectId()) {}

ovObject::~ovObject() = default;

void ovObject::DecrementReferences() {
    if (--mReferences == 0) {
        delete this;
    }
}

ovObject* ovObject::GetObjectByName(const std::string& name) {
    return GetName() == name ? this : nullptr;
}

void ovObject::GetAllObjectsByName(const std::string& name, std::vector<ovObject*>& objects) {
    if (GetName() == name) {
        objects.push_back(this);
    }
}

ovObject* ovObject::GetObjectByID(uint32_t id) {
    return mId == id ? this : nullptr;
}

}  // namespace ov
