// OBJ text of any shape must either import or be refused with a ReadError;
// never a crash, a hang or another exception.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/InputFiles.h"
#include "obj/ObjImport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        // No material library is ever found there: the fuzzer judges the OBJ alone.
        ov::obj::importObjText(text, "fuzz.obj", "/nonexistent-ovmesh-fuzz-folder");
    } catch (const ov::ReadError&) {
    }
    return 0;
}
