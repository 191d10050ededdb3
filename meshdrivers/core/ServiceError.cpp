#include "core/ServiceError.h"

namespace ov {

ServiceError::~ServiceError() = default;

}  // namespace ov
