#include <iostream>

#include "ovmesh/Cli.h"
#include "ovmesh/Interruption.h"
#include "system/ovSystemUtils.h"

#if defined(_WIN32)
#include <io.h>
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

}  // namespace

int main(int argc, char** argv) {
    // A conversion builds its scene from hundreds of thousands of small blocks.
    ov::ovSystemUtils::preferLargeHeapPages();
    ov::ovmesh::catchInterruptions();
    return ov::ovmesh::runOvmesh(argc, argv, std::cout, std::cerr, stderrIsTerminal());
}
