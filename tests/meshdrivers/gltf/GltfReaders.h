#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/TestSupport.h"

// Runs the reader script; skips the test when node or a reader module is missing.
#define READ_GLTF(output, arguments)                                                                        \
    do {                                                                                                    \
        const TempDir out;                                                                                  \
        const int status = std::system(                                                                     \
            ("node " OV_GLTF_READER_SCRIPT " " + std::string(arguments) + " >" + out.file("out") + " 2>&1") \
                .c_str());                                                                                  \
        output = readFile(out.file("out"));                                                                 \
        if (!WIFEXITED(status) || WEXITSTATUS(status) == 127 || WEXITSTATUS(status) == 77) {                \
            GTEST_SKIP() << "no glTF reader under node: " << output;                                        \
        }                                                                                                   \
        ASSERT_EQ(WEXITSTATUS(status), 0) << output;                                                        \
    } while (false)
