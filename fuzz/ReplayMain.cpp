// Runs a fuzz target over every file of the folders (or files) named on the
// command line, so that the corpus is replayed as an ordinary test (which
// fails when it finds no input).
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs(argv + 1, argv + argc);
    for (int i = 1; i < argc; ++i) {
        if (fs::is_directory(argv[i])) {
            inputs.insert(inputs.end(), fs::recursive_directory_iterator(argv[i]), {});
        }
    }
    std::erase_if(inputs, [](const fs::path& input) { return !fs::is_regular_file(input); });
    for (const fs::path& input : inputs) {
        std::ifstream in(input, std::ios::binary);
        const std::string bytes(std::istreambuf_iterator<char>(in), {});
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    return inputs.empty() ? 1 : 0;
}
