#pragma once

#include <stdexcept>

#include "core/ovMeshDriversExport.h"

namespace ov {

// Why a service of the library around the drivers (staged saving, part
// files, page fitting) cannot do what it was asked: one line that names the
// file or value it is about. The drivers themselves answer false instead.
class OVMESHDRIVERS_API ServiceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    ~ServiceError() override;
};

}  // namespace ov
