// STEP text of any shape must either load or be refused with a ReadError;
// never a crash, a hang or another exception.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/InputFiles.h"
#include "step/StepImport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        // Part files it names are looked for, but none outside the current folder is read.
        ov::step::StepReadOptions options;
        options.meshing.confine = true;
        ov::step::importStepText(text, "fuzz.stp", options);
    } catch (const ov::ReadError&) {
    }
    return 0;
}
