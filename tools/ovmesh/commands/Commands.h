#pragma once

#include <exception>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "core/DrawingPage.h"
#include "core/SafeOutputFile.h"
#include "ovmesh/Interruption.h"
#include "ovmesh/ToolError.h"
#include "ovmesh/output/ConsoleLog.h"
#include "ovmesh/output/ProgressBar.h"
#include "plmxml/ovPlmXmlMeshDriver.h"
#include "step/StepLoadSettings.h"
#include "step/StepMeshDriver.h"

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
    // For text that is already made of whole "warning: ..." or "error: ..." lines.
    std::ostream& err() { return mErr; }
    bool showsProgress() const { return mShowProgress; }
    ConsoleLog& console() { return mConsole; }
    // A line on the standard output, unless quiet.
    void report(const std::string& text);
    // From here on the standard output carries data: reports stay off it.
    void keepOutputForData() { mQuiet = true; }

    // Runs work(progress) with a progress bar labelled label (e.g. "writing
    // out.stl"). What the library logs meanwhile is printed when the work ends
    // (see ConsoleLog::holdLibraryLines). Once a signal asked the tool to stop,
    // Interrupted instead of starting, and instead of the failure it caused.
    template <typename Work>
    auto withProgress(const std::string& label, Work work) {
        if (interruptionRequested()) {
            throw Interrupted("interrupted before " + label);
        }
        mBar = std::make_unique<ProgressBar>(mErr, label, mShowProgress);
        const WorkScope scope(*this);
        try {
            return work(static_cast<ovProgressNotifierInterface*>(mBar.get()));
        } catch (const ToolError&) {
            if (interruptionRequested()) {
                throw Interrupted("interrupted while " + label);
            }
            throw;
        }
    }

private:
    // Holds the library's lines for the work's time; then drops the bar and
    // shows them, as errors when the work is left by an exception.
    class WorkScope {
    public:
        explicit WorkScope(Session& session) : mSession(session) { session.mConsole.holdLibraryLines(); }
        ~WorkScope() {
            mSession.mBar.reset();
            mSession.mConsole.releaseLibraryLines(std::uncaught_exceptions() > mExceptions);
        }
        WorkScope(const WorkScope&) = delete;
        WorkScope& operator=(const WorkScope&) = delete;

    private:
        Session& mSession;
        int mExceptions = std::uncaught_exceptions();
    };

    std::ostream& mOut;
    std::ostream& mErr;
    ConsoleLog mConsole;
    bool mQuiet;
    bool mShowProgress;
    std::unique_ptr<ProgressBar> mBar;
};

struct ConvertOptions {
    // Either may be "-", the standard input or output, whose format (an
    // extension) from or to names.
    std::string input;
    std::string output;
    std::string from;
    std::string to;
    // Follow for an output the user named, Replace for one the tool named (a batch's).
    TargetLinks outputLinks = TargetLinks::Follow;
    DrawingOptions drawing;
    bool lineBreaks = false;
    // A drawing of an input without polylines is a warning, not an error.
    bool allowEmpty = false;
    // Extra attributes and user values of the input kept as metadata.
    bool importMetadata = true;
    // The files the input names must lie in its folder's tree.
    bool confine = false;
    // How exact B-rep STEP shapes are meshed.
    step::StepLoadSettings meshing;
    // For assembly outputs: the format of the files that take each part's
    // geometry; empty refuses an input with geometry.
    std::string externalParts;
    // How a STEP output holds the meshes of the scene (unless they go to part files).
    step::StepGeometry stepGeometry = step::StepGeometry::Faceted;
    // Scene units stated on the root (mm, cm, dm, m); empty leaves them as loaded.
    std::string units;
    PlmXmlReading plmxml = PlmXmlReading::Auto;
    step::StepProfile stepProfile = step::StepProfile::Interop;
    // COLLADA's up axis, "y" or "z"; empty follows the input.
    std::string up;
    // Significant digits of COLLADA coordinates: 6 or 9.
    int precision = 6;
};

// Each answers the exit code; ToolError for a failure that stops it.
int runDemo(Session& session, const std::string& folder, step::StepProfile stepProfile);
int runConvert(Session& session, const ConvertOptions& options);

}  // namespace ov::ovmesh
