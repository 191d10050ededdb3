// Checks arbitrary bytes as an exchange file against the bundled schema.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "step/Part21Checker.h"

namespace {

const ov::step::Part21Checker& checker() {
    static const ov::step::Part21Checker* loaded = [] {
        auto* made = new ov::step::Part21Checker();
        std::string error;
        if (!made->loadSchema(OV_BUNDLED_SCHEMA, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::abort();
        }
        return made;
    }();
    return *loaded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    checker().checkText(std::string_view(reinterpret_cast<const char*>(data), size), {100, size % 2 == 1});
    return 0;
}
