// A model of any bytes that assimp reads, as PLY, STL or OFF by the first
// byte, must either become a scene or be refused with a ReadError; never a
// crash, a hang or another exception.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "assimp/AssimpImport.h"
#include "core/InputFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::array<std::string, 3> kFormats{"ply", "stl", "off"};
    if (size == 0) {
        return 0;
    }
    const std::string_view model(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        // No image file is ever found there: the fuzzer judges the model alone.
        ov::assimpimport::importWithAssimpFromMemory(model, kFormats[data[0] % kFormats.size()], "fuzz",
                                                     "/nonexistent-ovmesh-fuzz-folder");
    } catch (const ov::ReadError&) {
    }
    return 0;
}
