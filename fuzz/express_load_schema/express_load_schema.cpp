// Loads arbitrary bytes as a schema file, then lays out the first entities
// found, each alone and all together as a complex instance.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "express/ExpressSchema.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One file per process, so that parallel fuzzing jobs do not share it.
    static const auto path =
        std::filesystem::temp_directory_path() / ("express_fuzz_" + std::to_string(getpid()));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data), size);
    ov::express::ExpressSchema schema;
    schema.loadSchema(path.string());
    std::filesystem::remove(path);

    std::list<std::string> found;
    std::map<std::string, std::vector<ov::express::Attribute>> layout;
    for (auto it = schema.entities.begin(); it != schema.entities.end() && found.size() < 4; ++it) {
        found.push_back(it->first);
        schema.getAttributeList({it->first}, layout);
    }
    schema.getAttributeList(found, layout);
    return 0;
}
