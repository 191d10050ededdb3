#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "ovmesh/Cli.h"
#include "ovmesh/Interruption.h"
#include "system/ovSystemUtils.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <filesystem>
#include <string>
#include <vector>

#include "system/ovFiles.h"
#else
#include <unistd.h>
#endif

namespace {

bool stderrIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

#if defined(_WIN32)
// Windows hands main its arguments in the ANSI code page, which cannot hold
// every file name: the tool takes them from the wide command line, as UTF-8.
std::vector<std::string> utf8Arguments() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; wide != nullptr && i < count; ++i) {
        arguments.push_back(ov::utf8OfPath(std::filesystem::path(wide[i])));
    }
    LocalFree(wide);
    return arguments;
}
#endif

// The time written into files is SOURCE_DATE_EPOCH's when it is set (seconds
// since 1970, UTC), as reproducible builds ask, so that the same input gives
// the same bytes on every machine.
void pinClockToSourceDate() {
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    int64_t seconds = 0;
    if (text == nullptr || std::from_chars(text, text + std::strlen(text), seconds).ec != std::errc()) {
        return;
    }
    ov::ovSystemUtils::setClock([seconds] { return ov::ovClockReading{seconds * 1000, 0}; });
}

}  // namespace

int main(int argc, [[maybe_unused]] char** argv) {
    // A conversion builds its scene from hundreds of thousands of small blocks.
    ov::ovSystemUtils::preferLargeHeapPages();
    ov::ovmesh::catchInterruptions();
    pinClockToSourceDate();
#if defined(_WIN32)
    const std::vector<std::string> arguments = utf8Arguments();
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments) {
        pointers.push_back(argument.c_str());
    }
    argc = static_cast<int>(pointers.size());
    const char* const* utf8Argv = pointers.data();
#else
    const char* const* utf8Argv = argv;
#endif
    return ov::ovmesh::runOvmesh(argc, utf8Argv, std::cout, std::cerr, stderrIsTerminal());
}
