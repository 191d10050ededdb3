#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ov::assimpimport {

// The length unit, in metres, that a model file states and assimp does not
// apply: a 3MF model's unit (millimetres unless it says otherwise), an AMF
// document's (likewise), an X3D scene's length unit. None for other formats,
// for a unit of a name these formats do not define, and for a file that
// cannot be read (the import reports that).
std::optional<double> statedMetresPerUnit(const std::string& path, const std::string& extension);
std::optional<double> statedMetresPerUnitOfBytes(std::string_view bytes, const std::string& extension);

}  // namespace ov::assimpimport
