#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "Part21WriterTestAccess.h"
#include "express/ExpressSchema.h"
#include "step/Part21Writer.h"
#include "support/TestSupport.h"
#include "system/ovSystemUtils.h"
#include "system/ovVariantContainers.h"

namespace ov::step::test {

// A small schema that exercises every layout rule: a catch-all value holder,
// optional attributes, an entity without attributes, and two subtypes of one
// supertype, one of which derives an inherited attribute.
extern const char* const kToySchemaText;

// Loads a schema text through a file of its own; fails the test when it does not parse.
express::ExpressSchema loadSchemaText(const std::string& text);
express::ExpressSchema loadToySchema();
// The full AP242 long-form schema of the shared data, loaded once.
// Shared by the tests: they must not change it.
express::ExpressSchema& ap242Schema();

// Fixes the version text of file headers while it lives.
class SoftwareVersionGuard {
  public:
    explicit SoftwareVersionGuard(SoftwareVersionInfoForStream info);
    ~SoftwareVersionGuard();
    SoftwareVersionGuard(const SoftwareVersionGuard&) = delete;
    SoftwareVersionGuard& operator=(const SoftwareVersionGuard&) = delete;

  private:
    SoftwareVersionInfoForStream mPrevious;
};

// The header every test file starts with under the default FixedClock and the
// version text "ovmesh-test 1.0", for the given file name.
std::string expectedHeader(const std::string& encodedFileName);

// An attribute value map, in the order the pairs are given.
ovVariantMapImpl valuesOf(std::initializer_list<std::pair<const char*, ovVariant>> pairs);
ovVariant ref(const Part21WriterUserData& id);
ovVariant ref(uint64_t id);
ovVariant enumValue(const std::string& literal);
ovVariant vec3(double x, double y, double z);
ovVariantListImpl listOf(std::initializer_list<ovVariant> values);
ovVariant list(std::initializer_list<ovVariant> values);

// A writer that has begun a file on a memory device with the toy schema,
// under a fixed clock and version text, with the log captured.
class ToyFileTest : public ::testing::Test {
  protected:
    void SetUp() override { startFile(); }
    // Begins a new file on an emptied device.
    void startFile();
    // Everything written after the header.
    std::string records() const { return device.data().substr(headerSize); }
    // Writes one holder instance with a fresh id.
    bool writeHolder(const ovVariant& value);
    // The parameter text a value takes in a holder record; fails the test when
    // the record is not written.
    std::string writtenValue(const ovVariant& value);

    ov::test::FixedClock clock;
    SoftwareVersionGuard version{{"ovmesh-test", "1.0"}};
    ov::test::LogCapture log;
    express::ExpressSchema schema = loadToySchema();
    SaveMeshOptions options{"", "tester", false, false};
    ovIoDeviceMemory device;
    Part21Writer writer;
    size_t headerSize = 0;
};

// Compares a whole file with tests/data/step/<name>. With OV_UPDATE_GOLDEN set
// in the environment the golden file is rewritten instead.
void expectMatchesGolden(const std::string& actual, const std::string& goldenName);

// Loads a file with an independent exchange-file reader. Answers false with
// `report` set when the reader refused it; `entityCount` receives the number
// of entities it loaded.
bool independentReaderAvailable();
bool loadWithIndependentReader(const std::filesystem::path& file, int& entityCount, std::string& report);

}  // namespace ov::step::test
