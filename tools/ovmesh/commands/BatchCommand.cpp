#include "ovmesh/commands/BatchCommand.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <list>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string_view>
#include <thread>

#include "core/FileNames.h"
#include "core/SafeOutputFile.h"
#include "ovmesh/Interruption.h"
#include "ovmesh/Paths.h"
#include "ovmesh/ToolError.h"
#include "ovmesh/Usage.h"
#include "ovmesh/commands/ChildProcess.h"
#include "ovmesh/commands/SceneIo.h"
#include "ovmesh/commands/StandardStreams.h"

namespace ov::ovmesh {

namespace fs = std::filesystem;

namespace {

// The tool itself, whatever name it was started by.
constexpr const char* kOwnExecutable = "/proc/self/exe";
constexpr std::chrono::milliseconds kRedrawInterval{200};

bool hidden(const fs::path& path) {
    return utf8Path(path.filename()).starts_with(".");
}

bool sameFolder(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error);
}

[[noreturn]] void refuseFolder(const fs::path& folder, const std::error_code& error) {
    throw ToolError("cannot read folder '" + utf8Path(folder) + "': " + error.message());
}

// Why an entry of a folder whose extension is read is not converted; empty
// when it is a file (or a link to one).
std::string notAFileReason(const fs::directory_entry& entry) {
    std::error_code error;
    const fs::file_status status = entry.status(error);
    if (fs::is_regular_file(status) || fs::is_directory(status)) {
        return {};
    }
    if (!fs::exists(status)) {
        return "it is a symbolic link that leads to no file";
    }
    return fs::is_fifo(status) ? "it is a named pipe (FIFO), not a file"
                               : "it is a device or socket, not a file";
}

// Built by appending: GCC 12 warns falsely (-Wrestrict) on "'" + text at -O3.
std::string passedOverText(const fs::path& path, const std::string& reason) {
    std::string text = "'";
    text += utf8Path(path);
    text += "' is passed over: ";
    text += reason;
    return text;
}

struct FolderFiles {
    std::vector<std::string> files;
    std::vector<std::string> passedOver;
};

void append(std::vector<std::string>& to, std::vector<std::string> sorted) {
    std::sort(sorted.begin(), sorted.end());
    to.insert(to.end(), sorted.begin(), sorted.end());
}

// The readable files under folder, and the entries passed over, each in name order.
void addFilesUnder(const fs::path& folder, const fs::path& outputFolder,
                   const std::set<std::string>& readable, FolderFiles& found) {
    FolderFiles under;
    std::error_code walkError;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied, walkError);
    for (; !walkError && walk != fs::recursive_directory_iterator(); walk.increment(walkError)) {
        const fs::directory_entry& entry = *walk;
        std::error_code ignored;
        if (hidden(entry.path()) || (entry.is_directory(ignored) && sameFolder(entry.path(), outputFolder))) {
            walk.disable_recursion_pending();
        } else if (readable.contains(extensionOf(utf8Path(entry.path())))) {
            const std::string reason = notAFileReason(entry);
            if (!reason.empty()) {
                under.passedOver.push_back(passedOverText(entry.path(), reason));
            } else if (entry.is_regular_file(ignored)) {
                under.files.push_back(utf8Path(entry.path()));
            }
        }
    }
    if (walkError) {
        refuseFolder(folder, walkError);
    }
    append(found.files, std::move(under.files));
    append(found.passedOver, std::move(under.passedOver));
}

FolderFiles inputFiles(const BatchOptions& options, const std::vector<std::string>& readableExtensions) {
    const std::set<std::string> readable(readableExtensions.begin(), readableExtensions.end());
    FolderFiles found;
    for (const std::string& input : options.inputs) {
        std::error_code error;
        if (fs::is_directory(fsPath(input), error)) {
            addFilesUnder(fsPath(input), fsPath(options.outputFolder), readable, found);
        } else {
            found.files.push_back(input);
        }
    }
    return found;
}

// Appended step by step for the same false warning as passedOverText.
std::string outputName(const std::string& stem, const std::string& format, size_t number) {
    std::string extension = ".";
    extension += format;
    return numberedFileName(stem, extension, number);
}

}  // namespace

BatchPlan planBatch(const BatchOptions& options, const std::vector<std::string>& readableExtensions) {
    FolderFiles found = inputFiles(options, readableExtensions);
    const std::vector<std::string>& files = found.files;
    // Every name an input would get by itself stays reserved for the first
    // input that wants it.
    std::map<std::string, size_t> firstWanting;
    std::vector<std::string> stems;
    for (size_t i = 0; i < files.size(); ++i) {
        stems.push_back(utf8Path(fsPath(files[i]).stem()));
        firstWanting.emplace(fileNameKey(outputName(stems[i], options.format, 1)), i);
    }
    BatchPlan plan;
    plan.passedOver = std::move(found.passedOver);
    std::set<std::string> given;
    for (size_t i = 0; i < files.size(); ++i) {
        size_t number = 1;
        std::string name = outputName(stems[i], options.format, number);
        const size_t owner = firstWanting.at(fileNameKey(name));
        if (owner != i) {
            while (firstWanting.contains(fileNameKey(name)) || given.contains(fileNameKey(name))) {
                name = outputName(stems[i], options.format, ++number);
            }
            plan.renames.push_back("'" + files[i] + "' is written as '" + name + "', since '" + files[owner] +
                                   "' is written as '" + outputName(stems[owner], options.format, 1) + "'");
        }
        given.insert(fileNameKey(name));
        plan.items.push_back({files[i], utf8Path(fsPath(options.outputFolder) / fsPath(name))});
    }
    return plan;
}

namespace {

struct Running {
    BatchItem item;
    std::unique_ptr<ChildProcess> process;
};

struct Tally {
    size_t converted = 0;
    size_t failed = 0;
};

// The warning and error lines of text, each naming input: those that do not
// name it already get it after their "warning: " or "error: ".
std::string namingInput(const std::string& text, const std::string& input) {
    std::istringstream lines(text);
    std::string named;
    for (std::string line; std::getline(lines, line);) {
        for (const std::string_view prefix : {"warning: ", "error: "}) {
            if (line.starts_with(prefix) && line.find(input) == std::string::npos) {
                line.insert(prefix.size(), "'" + input + "': ");
            }
        }
        named += line + (lines.eof() ? "" : "\n");
    }
    return named;
}

std::string seconds(std::chrono::steady_clock::duration elapsed) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(1) << std::chrono::duration<double>(elapsed).count() << " s";
    return text.str();
}

// One line per running conversion on a terminal, redrawn in place.
class RunningLines {
public:
    RunningLines(std::ostream& stream, bool visible) : mStream(stream), mVisible(visible) {}

    void draw(const std::list<Running>& running) {
        if (!mVisible) {
            return;
        }
        clear();
        const auto now = std::chrono::steady_clock::now();
        for (const Running& conversion : running) {
            mStream << "converting " << utf8Path(fsPath(conversion.item.input).filename()) << "  "
                    << seconds(now - conversion.process->started()) << '\n';
        }
        mStream.flush();
        mDrawn = running.size();
    }
    // Takes the lines away, so that other text takes their place.
    void clear() {
        if (mVisible && mDrawn > 0) {
            mStream << "\x1b[" << mDrawn << "F\x1b[J";
            mDrawn = 0;
        }
    }

private:
    std::ostream& mStream;
    bool mVisible;
    size_t mDrawn = 0;
};

class Batch {
public:
    Batch(Session& session, const std::vector<std::string>& arguments, unsigned jobs)
        : mSession(session),
          mArguments(arguments),
          mJobs(jobs),
          mLines(session.err(), session.showsProgress()) {}

    void run(const std::vector<BatchItem>& items) {
        auto next = items.begin();
        while (next != items.end() || !mRunning.empty()) {
            if (interruptionRequested() && !mStopping) {
                stopAll();
            }
            while (!mStopping && next != items.end() && mRunning.size() < mJobs) {
                start(*next++);
            }
            if (mRunning.empty()) {
                break;
            }
            std::vector<ChildProcess*> processes;
            for (Running& conversion : mRunning) {
                processes.push_back(conversion.process.get());
            }
            ChildProcess::collectOutput(processes, kRedrawInterval);
            finishEnded();
            mLines.draw(mRunning);
        }
        mLines.clear();
    }

    const Tally& tally() const { return mTally; }

private:
    void start(const BatchItem& item) {
        std::vector<std::string> arguments{"ovmesh", "--batch-input=" + item.input,
                                           "--batch-output=" + item.output};
        arguments.insert(arguments.end(), mArguments.begin(), mArguments.end());
        // A file that cannot be started (the system's limit of processes) fails alone.
        try {
            mRunning.push_back({item, std::make_unique<ChildProcess>(kOwnExecutable, arguments)});
        } catch (const ToolError& failure) {
            mLines.clear();
            mSession.console().error("'" + item.input + "': " + failure.what());
            ++mTally.failed;
        }
    }

    // The children in the same process group got a Ctrl-C from the terminal
    // already; a signal sent to the tool alone reaches them only this way.
    void stopAll() {
        mStopping = true;
        for (const Running& conversion : mRunning) {
            conversion.process->sendSignal(interruptedExitCode() - kSignalExitBase);
        }
    }

    void finishEnded() {
        for (auto conversion = mRunning.begin(); conversion != mRunning.end();) {
            if (conversion->process->outputEnded()) {
                finish(*conversion);
                conversion = mRunning.erase(conversion);
            } else {
                ++conversion;
            }
        }
    }

    void finish(Running& conversion) {
        const ChildEnd end = conversion.process->wait();
        mLines.clear();
        mSession.out() << conversion.process->out() << std::flush;
        mSession.err() << namingInput(conversion.process->err(), conversion.item.input) << std::flush;
        if (end.signal != 0) {
            // It had no chance to take its temporary files away.
            removeTemporariesOf(conversion.item.output);
        }
        if (end.signal == 0 && end.exitCode == 0) {
            ++mTally.converted;
        } else if (!mStopping) {
            ++mTally.failed;
            if (end.signal != 0) {
                mSession.console().error("'" + conversion.item.input +
                                         "': its conversion was killed by signal " +
                                         std::to_string(end.signal) + " (" + signalName(end.signal) + ")");
            }
        }
    }

    Session& mSession;
    const std::vector<std::string>& mArguments;
    size_t mJobs;
    RunningLines mLines;
    std::list<Running> mRunning;
    bool mStopping = false;
    Tally mTally;
};

}  // namespace

int runBatch(Session& session, const BatchOptions& options, const std::vector<std::string>& arguments) {
    requireSavableFormat(options.format, "--to");
    createFolder(options.outputFolder);
    const auto started = std::chrono::steady_clock::now();
    const BatchPlan plan = planBatch(options, loadableExtensions());
    for (const std::vector<std::string>* notes : {&plan.passedOver, &plan.renames}) {
        for (const std::string& note : *notes) {
            session.console().warning(note);
        }
    }
    const unsigned jobs = options.jobs > 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    Batch batch(session, arguments, jobs);
    batch.run(plan.items);
    const Tally& tally = batch.tally();
    if (interruptionRequested()) {
        throw Interrupted("interrupted after converting " + std::to_string(tally.converted) + " of " +
                          std::to_string(plan.items.size()) + " files");
    }
    session.err() << "converted " << tally.converted << ", failed " << tally.failed
                  << (plan.passedOver.empty() ? ""
                                              : ", passed over " + std::to_string(plan.passedOver.size()))
                  << ", in " << seconds(std::chrono::steady_clock::now() - started) << '\n';
    return tally.failed == 0 ? 0 : kExitFailure;
}

}  // namespace ov::ovmesh
