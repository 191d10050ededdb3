#include "core/ovVectorialMetadata.h"

namespace ov {

OV_IMPLEMENT_RTTI(ovVectorialMetadata, ovMetadataInterface);

ovVectorialMetadata::ovVectorialMetadata() : ovMetadataInterface(MetadataTypeId) {}

ovVectorialMetadata::~ovVectorialMetadata() = default;

ovObject* ovVectorialMetadata::GetObjectByName(const std::string& name) {
    return ovMetadataInterface::GetObjectByName(name);
}

void ovVectorialMetadata::GetAllObjectsByName(const std::string& name, std::vector<ovObject*>& objects) {
    ovMetadataInterface::GetAllObjectsByName(name, objects);
}

ovObject* ovVectorialMetadata::GetObjectByID(uint32_t id) {
    return ovMetadataInterface::GetObjectByID(id);
}

void ovVectorialMetadata::SetName(const std::string&) {}

const std::string& ovVectorialMetadata::GetName() const {
    return ovRttiInterface::sEmptyString;
}

}  // namespace ov
