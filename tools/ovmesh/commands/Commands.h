#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "ovmesh/output/ConsoleLog.h"
#include "ovmesh/output/DrawingPage.h"
#include "ovmesh/output/ProgressBar.h"

namespace ov::ovmesh {

struct SessionOptions {
    std::string resourceFolder;
    // No progress bar and no report of written files; warnings and errors stay.
    bool quiet = false;
    // Whether a progress bar may be drawn at all (the error stream is a terminal).
    bool progressBars = false;
};

// One run of the tool against the driver library: the console log, and the
// library initialised with the resource folder for the session's lifetime.
class Session {
public:
    Session(const SessionOptions& options, std::ostream& out, std::ostream& err);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    std::ostream& out() { return mOut; }
    ConsoleLog& console() { return mConsole; }
    // A line on the standard output, unless quiet.
    void report(const std::string& text);

    // Runs work(progress) with a progress bar labelled label.
    template <typename Work>
    auto withProgress(const std::string& label, Work work) {
        mBar = std::make_unique<ProgressBar>(mErr, label, mShowProgress);
        const BarReset reset{mBar};
        return work(static_cast<ovProgressNotifierInterface*>(mBar.get()));
    }

private:
    struct BarReset {
        std::unique_ptr<ProgressBar>& bar;
        ~BarReset() { bar.reset(); }
    };

    std::ostream& mOut;
    std::ostream& mErr;
    ConsoleLog mConsole;
    bool mQuiet;
    bool mShowProgress;
    std::unique_ptr<ProgressBar> mBar;
};

struct ConvertOptions {
    std::string input;
    std::string output;
    DrawingOptions drawing;
    bool lineBreaks = false;
    // A drawing of an input without polylines is a warning, not an error.
    bool allowEmpty = false;
    // When set, a drawing shows the feature edges of the meshes too: where
    // their faces fold by more than this many degrees, and where they end.
    std::optional<double> edgeDegrees;
    // Extra attributes and user values of the input kept as metadata.
    bool importMetadata = true;
    // For assembly outputs: the format of the files that take each part's
    // geometry; empty refuses an input with geometry.
    std::string externalParts;
    // Scene units stated on the root (mm, cm, dm, m); empty leaves them as loaded.
    std::string units;
};

// Each answers the exit code; ToolError for a failure that stops it.
int runFormats(Session& session);
int runDemo(Session& session, const std::string& folder);
int runConvert(Session& session, const ConvertOptions& options);

}  // namespace ov::ovmesh
