#include "scenegraph/ovMetadata.h"

namespace ov {

OV_IMPLEMENT_RTTI(ovMetadataInterface, ovObject);
OV_IMPLEMENT_RTTI(ovWorldUnitsMetaData, ovMetadataInterface);
OV_IMPLEMENT_RTTI(ovInstanceDefId, ovObject);
OV_IMPLEMENT_RTTI(ovInstanceMetaData, ovMetadataInterface);

ovInstanceMetaData::ovInstanceMetaData(ovInstanceDefId* definition)
    : ovMetadataInterface(MetadataTypeId), mDefinition(definition ? definition : new ovInstanceDefId) {}

}  // namespace ov
