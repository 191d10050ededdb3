#pragma once

#include <string>

#include "step/Part21Writer.h"

namespace ov::step {

// Reaches the writer's private string encoder from tests and fuzz targets.
struct Part21WriterTestAccess {
    static bool Utf8ToPart21Encoding(const std::string& in, std::string& out) {
        return Part21Writer::Utf8ToPart21Encoding(in, out);
    }
};

}  // namespace ov::step
