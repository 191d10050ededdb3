// Fault sweeps over every writer: the output stops taking bytes, or the
// device stops being good, at offsets across the good file, and the save is
// cancelled at each question it asks its progress notifier. Every time the
// driver must give the answer and leave the file its rules promise. Readers
// get their input cut at offsets across it. The sanitizer build runs the same
// sweeps for crashes and leaks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "../collada/ColladaTestSupport.h"
#include "../plmxml/PlmXmlTestSupport.h"
#include "../step/StepTestSupport.h"
#include "LineDrawingTestSupport.h"
#include "collada/ovColladaMeshDriver.h"
#include "core/SceneWalk.h"
#include "core/ovVectorialMetadata.h"
#include "dxf/DxfDriver.h"
#include "gltf/GltfMeshDriver.h"
#include "stl/StlMeshDriver.h"
#include "svg/Mesh2SvgDriver.h"

namespace ov::test {
namespace {

constexpr int64_t kNoLimit = ovIoDeviceFaultInjector::kNoLimit;

// Whether a file left by a cancelled save is what the driver promises, given
// the good file.
using CancelledFileCheck = bool (*)(const std::string& good, const std::string& cancelled);

bool isPrefix(const std::string& good, const std::string& cancelled) {
    return good.starts_with(cancelled);
}

// The records written so far behind the whole header, whose count may come
// from a walk that was cut short.
bool isStlHeaderAndFirstRecords(const std::string& good, const std::string& cancelled) {
    constexpr size_t kHeader = 80, kRecords = 84, kRecord = 50;
    return cancelled.size() >= kRecords && (cancelled.size() - kRecords) % kRecord == 0 &&
           good.starts_with(cancelled.substr(0, kHeader)) &&
           good.substr(kRecords).starts_with(cancelled.substr(kRecords));
}

// The entities drawn so far, still closed by the drawing's end.
template <const char* kEnd>
bool isDrawingPrefixAndEnd(const std::string& good, const std::string& cancelled) {
    return cancelled.ends_with(kEnd) &&
           good.starts_with(cancelled.substr(0, cancelled.size() - strlen(kEnd)));
}
constexpr char kDxfEnd[] = "0\nENDSEC\n0\nEOF\n", kSvgEnd[] = "</svg>";

using Lines = std::vector<std::string>;

// A writer under the sweeps, with what its rules promise.
struct Writer {
    const char* name;
    std::unique_ptr<ovCoreMeshDriver> (*makeDriver)();
    ovPointer<ovNode> (*makeScene)();
    SaveMeshOptions options = {};
    // Saves only to a path: the file system's size limit is its failing output.
    bool pathOnly = false;
    // The extension of that path.
    const char* extension = "out";
    // The answer when the output fails, and whether the file keeps what it took.
    bool savesDespiteFailure = true;
    bool keepsFailedFile = true;
    // The driver makes no device call after the first refused byte.
    bool stopsAtRefusal = false;
    // The driver asks whether the device is still good before this text of the
    // good file and stops there when not; null: it writes on to the end.
    const char* goodCheckBefore = nullptr;
    // The error lines of a failed output, when they do not depend on the offset.
    std::optional<Lines> failureErrors = Lines{};
    bool savesWhenCancelled = true;
    // Null: a cancelled save leaves no file.
    CancelledFileCheck cancelledFile = nullptr;
};

template <typename Driver>
std::unique_ptr<ovCoreMeshDriver> make() {
    return std::make_unique<Driver>();
}

std::unique_ptr<ovCoreMeshDriver> makeStepDriver() {
    return std::make_unique<step::StepMeshDriver>(step::schemaPath());
}

// A writer that keeps the bytes its device took and reports the short write.
Writer deviceWriter(const char* name, std::unique_ptr<ovCoreMeshDriver> (*makeDriver)(),
                    ovPointer<ovNode> (*makeScene)(), const std::string& whole,
                    CancelledFileCheck cancelledFile) {
    return {.name = name,
            .makeDriver = makeDriver,
            .makeScene = makeScene,
            .failureErrors = Lines{std::string(name) + " driver could not write the whole " + whole +
                                   ": the device refused bytes."},
            .cancelledFile = cancelledFile};
}

// A writer whose save that cannot be whole leaves no file. Its error lines
// depend on which of its files the limit cuts short (an image, a buffer).
Writer pathOnlyWriter(const char* name, std::unique_ptr<ovCoreMeshDriver> (*makeDriver)(),
                      const char* extension) {
    return {.name = name,
            .makeDriver = makeDriver,
            .makeScene = busyScene,
            .pathOnly = true,
            .extension = extension,
            .savesDespiteFailure = false,
            .keepsFailedFile = false,
            .failureErrors = std::nullopt,
            .savesWhenCancelled = false};
}

const Writer kWriters[] = {
    deviceWriter("Stl", make<StlMeshDriver>, busyScene, "file", isStlHeaderAndFirstRecords),
    deviceWriter("Dxf", make<DxfDriver>, makeSampleDrawing, "drawing", isDrawingPrefixAndEnd<kDxfEnd>),
    deviceWriter("Svg", make<Mesh2SvgDriver>, makeSampleDrawing, "drawing", isDrawingPrefixAndEnd<kSvgEnd>),
    // The STEP driver's own tests check its log lines at each stage.
    {.name = "Step",
     .makeDriver = makeStepDriver,
     .makeScene = step::sharedDefinitionScene,
     .options = {"example.stp", "tester", false, false, {}},
     .savesDespiteFailure = false,
     .stopsAtRefusal = true,
     .goodCheckBefore = "#1=",
     .failureErrors = std::nullopt,
     .savesWhenCancelled = false,
     .cancelledFile = isPrefix},
    pathOnlyWriter("Collada", make<ovColladaMeshDriver>, "out"),
    pathOnlyWriter("Glb", make<GltfMeshDriver>, "glb"),
    pathOnlyWriter("Gltf", make<GltfMeshDriver>, "gltf"),
};

void PrintTo(const Writer& writer, std::ostream* out) {
    *out << writer.name;
}

// A device that counts the calls it gets after it first refused a byte.
class RefusalWatch : public ovIoDeviceFaultInjector {
public:
    using ovIoDeviceFaultInjector::ovIoDeviceFaultInjector;
    int64_t write(const char* data, int64_t length) override {
        callsAfterRefusal += refused ? 1 : 0;
        const int64_t taken = ovIoDeviceFaultInjector::write(data, length);
        refused = refused || taken < length;
        return taken;
    }
    bool refused = false;
    int64_t callsAfterRefusal = 0;
};

using Files = std::map<std::string, std::string>;

// What one save answered and left: the file (none when it was removed), the
// files written beside it, and the device calls after a refusal.
struct Outcome {
    bool answer;
    std::optional<std::string> file;
    Files besideFile = {};
    int64_t callsAfterRefusal = 0;
};

// Where a save writes: a device, or a file named by its path.
enum class Output { Device, File };

class FaultSweep : public ::testing::TestWithParam<Writer> {
protected:
    void SetUp() override { SetSoftwareVersionForStream({"ovmesh-test", "1.0"}); }
    void TearDown() override { SetSoftwareVersionForStream(previousVersion); }

    // A save whose output takes writeLimit bytes in all; a device stops being
    // good after goodLimit bytes.
    Outcome save(Output output, int64_t writeLimit, int64_t goodLimit = kNoLimit,
                 ovProgressNotifierInterface* progress = nullptr) {
        if (output == Output::Device) {
            RefusalWatch device(writeLimit, goodLimit);
            const bool answer = driver->saveMeshes({scene}, device, "", progress, writer.options);
            return {answer, device.data(), {}, device.callsAfterRefusal};
        }
        const std::string path = dir.file(std::string("sweep.") + writer.extension);
        bool answer;
        {
            std::optional<FileSizeLimit> fileSize;
            if (writeLimit != kNoLimit) {
                fileSize.emplace(static_cast<uint64_t>(writeLimit));
            }
            answer = driver->saveMeshes({scene}, path, progress, writer.options);
        }
        // Taken away after reading: the next save starts in an empty folder.
        Outcome outcome{answer, std::nullopt};
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            if (entry.path() == path) {
                outcome.file = readFile(path);
            } else {
                outcome.besideFile[entry.path().filename().string()] = readFile(entry.path());
            }
            std::filesystem::remove(entry.path());
        }
        return outcome;
    }

    // The save without faults, which every other one is measured against.
    std::string goodFile(Output output) {
        const Outcome good = save(output, kNoLimit);
        EXPECT_TRUE(good.answer && good.file && !good.file->empty());
        EXPECT_TRUE(log.lines().empty());
        goodBesideFile = good.besideFile;
        return good.file.value_or("");
    }

    // The answer and file of an output that failed after `kept` bytes, with
    // the error lines when they are known.
    void expectFailedOutput(const Outcome& outcome, const std::string& good, size_t kept, size_t offset,
                            const std::optional<Lines>& errors) {
        EXPECT_EQ(outcome.answer, writer.savesDespiteFailure) << offset;
        EXPECT_EQ(outcome.file, writer.keepsFailedFile ? std::optional(good.substr(0, kept)) : std::nullopt)
            << offset;
        // A short file is never passed off as a good one.
        EXPECT_TRUE(!outcome.answer || !log.texts(ovLogError).empty()) << offset;
        // What is written beside the file (images) is whole or not there.
        for (const auto& [name, content] : outcome.besideFile) {
            EXPECT_EQ(content, goodBesideFile[name]) << name << " at " << offset;
        }
        if (errors) {
            EXPECT_EQ(log.texts(ovLogError), *errors) << offset;
        }
        log.clear();
    }

    const Writer& writer = GetParam();
    // Where the writer saves when it has the choice: a device.
    const Output preferredOutput = writer.pathOnly ? Output::File : Output::Device;
    const std::unique_ptr<ovCoreMeshDriver> driver = writer.makeDriver();
    const ovPointer<ovNode> scene = writer.makeScene();
    FixedClock clock;
    const SoftwareVersionInfoForStream previousVersion = GetSoftwareVersionForStream();
    LogCapture log;
    const TempDir dir;
    Files goodBesideFile;
};

// For the writers that save to a device.
class DeviceFaultSweep : public FaultSweep {};

// The device stops taking bytes, or stops being good, after `limit` bytes.
TEST_P(DeviceFaultSweep, DeviceThatStopsTakingBytesOrBeingGood) {
    const std::string good = goodFile(Output::Device);
    const size_t goodCheck = writer.goodCheckBefore ? good.find(writer.goodCheckBefore) : good.size();
    for (const size_t limit : sweepOffsets(good.size())) {
        const Outcome outcome = save(Output::Device, static_cast<int64_t>(limit));
        expectFailedOutput(outcome, good, limit, limit, writer.failureErrors);
        if (writer.stopsAtRefusal) {
            EXPECT_EQ(outcome.callsAfterRefusal, 0) << limit;
        }
        const size_t kept = limit <= goodCheck ? goodCheck : good.size();
        expectFailedOutput(save(Output::Device, kNoLimit, static_cast<int64_t>(limit)), good, kept, limit,
                           writer.failureErrors);
    }
}

// The file system refuses to let the file grow beyond the limit.
TEST_P(FaultSweep, FileThatCannotGrow) {
    OV_FILE_SIZE_LIMIT_OR_SKIP();
    const std::string good = goodFile(Output::File);
    for (const size_t limit : sweepOffsets(good.size())) {
        expectFailedOutput(save(Output::File, static_cast<int64_t>(limit)), good, limit, limit, std::nullopt);
    }
}

// A host may attach objects of its own classes under our metadata type ids:
// they are passed over, never cast, and the file is the one without them.
TEST_P(FaultSweep, ForeignMetadataUnderOurTypeIdsIsPassedOver) {
    const std::string good = goodFile(preferredOutput);
    walkScene(*scene, nullptr, [](const WalkStep<ovSpatial>& step) {
        for (const int typeId : {ovWorldUnitsMetaData::MetadataTypeId, ovInstanceMetaData::MetadataTypeId,
                                 ovVectorialMetadata::MetadataTypeId}) {
            step.object.setMetadata(new ovMetadataInterface(typeId));
        }
    });
    EXPECT_EQ(save(preferredOutput, kNoLimit).file, good);
}

// Anything but one spatial is refused before a byte is written.
TEST_P(FaultSweep, ObjectListsOtherThanOneSpatialAreRefused) {
    const ovPointer<ovObject> notSpatial(new ovMaterialState);
    for (const ovObjectList& objects :
         std::vector<ovObjectList>{{}, {scene, scene}, {nullptr}, {notSpatial}}) {
        ovIoDeviceMemory device;
        EXPECT_FALSE(writer.pathOnly
                         ? driver->saveMeshes(objects, dir.file("refused"), nullptr, writer.options)
                         : driver->saveMeshes(objects, device, "", nullptr, writer.options))
            << objects.size();
        EXPECT_TRUE(device.data().empty() && std::filesystem::is_empty(dir.path())) << objects.size();
    }
    EXPECT_TRUE(log.texts(ovLogError).empty());
}

TEST_P(FaultSweep, CancellationAtEveryQuestion) {
    const std::string good = goodFile(preferredOutput);
    RecordingProgress counting;
    ASSERT_EQ(save(preferredOutput, kNoLimit, kNoLimit, &counting).file, good);
    ASSERT_GT(counting.questions(), 0);
    for (int question = 1; question <= counting.questions(); ++question) {
        RecordingProgress cancelling(question);
        const Outcome outcome = save(preferredOutput, kNoLimit, kNoLimit, &cancelling);
        EXPECT_EQ(outcome.answer, writer.savesWhenCancelled) << question;
        EXPECT_EQ(outcome.file.has_value(), writer.cancelledFile != nullptr) << question;
        if (outcome.file && writer.cancelledFile) {
            EXPECT_TRUE(writer.cancelledFile(good, *outcome.file)) << question << ":\n" << *outcome.file;
        }
        EXPECT_TRUE(cancelling.calls().empty() || cancelling.calls().back() == "end") << question;
    }
}

// A document cut anywhere before the end of its root element is not well
// formed: the load fails with the parser's message and appends nothing.
TEST(ReaderSweep, PlmXmlCutAtAnyOffset) {
    const std::string document = plmXmlDocument(kPlmXmlV6, "i1", plmXmlCar(kPlmXmlV6));
    const size_t rootEnd = document.rfind('>') + 1;
    for (const size_t cut : sweepOffsets(document.size())) {
        const Loaded loaded = load(document.substr(0, cut));
        if (cut >= rootEnd) {
            EXPECT_TRUE(loaded.loaded && loaded.objects.size() == 1) << cut;
            continue;
        }
        EXPECT_FALSE(loaded.loaded) << cut;
        EXPECT_TRUE(loaded.objects.empty()) << cut;
        ASSERT_EQ(loaded.messages.size(), 1u) << cut;
        EXPECT_TRUE(loaded.messages[0].starts_with("E: ")) << cut << ": " << loaded.messages[0];
    }
}

std::string writerName(const ::testing::TestParamInfo<Writer>& tested) {
    return tested.param.name;
}

INSTANTIATE_TEST_SUITE_P(Writers, FaultSweep, ::testing::ValuesIn(kWriters), writerName);
std::vector<Writer> deviceWriters() {
    std::vector<Writer> writers;
    std::copy_if(std::begin(kWriters), std::end(kWriters), std::back_inserter(writers),
                 [](const Writer& writer) { return !writer.pathOnly; });
    return writers;
}

INSTANTIATE_TEST_SUITE_P(Writers, DeviceFaultSweep, ::testing::ValuesIn(deviceWriters()), writerName);

}  // namespace
}  // namespace ov::test
