#include <iostream>

#include "ovmesh/Cli.h"
#include "ovmesh/Interruption.h"

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
    ov::ovmesh::catchInterruptions();
    return ov::ovmesh::runOvmesh(argc, argv, std::cout, std::cerr, stderrIsTerminal());
}
