#pragma once

#include <string>
#include <vector>

#include "ovmesh/commands/Commands.h"

namespace ov::ovmesh {

struct BatchOptions {
    // Files, and folders whose readable files (sub-folders included) are taken.
    std::vector<std::string> inputs;
    std::string outputFolder;
    // The extension of the outputs.
    std::string format;
    // Conversions at once; 0 for the number of cores.
    unsigned jobs = 0;
};

// One conversion of a batch.
struct BatchItem {
    std::string input;
    std::string output;
};

struct BatchPlan {
    std::vector<BatchItem> items;
    // One line per output that is not named after its input alone.
    std::vector<std::string> renames;
    // One line per entry of a folder that has a readable extension and is not
    // converted, saying why: a named pipe, a link that leads to no file.
    std::vector<std::string> passedOver;
};

// The conversions of the inputs: each file to its name's stem with the
// format's extension in the output folder. Names that would clash (the same
// stem from two folders or of two extensions, the case of letters ignored)
// are numbered from the second on ("part-2.stl"), never taking a name that
// another input has. Folders give their files of a readable extension, their
// sub-folders' too, in name order, without hidden entries and without the
// output folder; entries of a readable extension that are no file are passed
// over.
BatchPlan planBatch(const BatchOptions& options, const std::vector<std::string>& readableExtensions);

// Converts every input into the output folder, each in a child process of the
// tool that runs arguments (the tool's own command line, without the program)
// for that one file, so that the conversions share no state and a reader
// that crashes takes only its own file down. What a child prints is shown
// when it ends; on a terminal one line per running conversion shows its
// progress meanwhile. Every warning or error line a child prints names its
// input. A failed file does not stop the others; the summary line counts
// them, and the entries passed over. Answers 1 when any failed; a signal is
// passed on to the running children and ends the batch with Interrupted.
int runBatch(Session& session, const BatchOptions& options, const std::vector<std::string>& arguments);

}  // namespace ov::ovmesh
