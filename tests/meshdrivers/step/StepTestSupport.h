#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "express/ExpressSchema.h"
#include "step/Part21Writer.h"
#include "support/TestSupport.h"
#include "system/ovSystemUtils.h"
#include "system/ovVariantContainers.h"

namespace ov::step::test {

using Strings = std::vector<std::string>;

inline std::filesystem::path stepData(const std::string& name) {
    return ov::test::testDataDir() / "step" / name;
}

inline express::ExpressSchema loadSchema(const std::filesystem::path& path) {
    express::ExpressSchema schema;
    EXPECT_TRUE(schema.loadSchema(path.string())) << path;
    return schema;
}

inline ovVariant ref(uint64_t id) {
    return Part21WriterUserData(id).toVariant();
}

// A writer that has begun a file on a memory device with the toy schema, under
// a fixed clock and version text, with the log captured.
class ToyFileTest : public ::testing::Test {
protected:
    ToyFileTest() { SetSoftwareVersionForStream({"ovmesh-test", "1.0"}); }
    ~ToyFileTest() override { SetSoftwareVersionForStream(previousVersion); }
    void SetUp() override { startFile(); }

    // Begins a new file on an emptied device.
    void startFile() {
        device = ovIoDeviceMemory();
        ASSERT_TRUE(writer.beginWritePart21("toy.stp", options, &schema, &device));
        headerSize = device.data().size();
    }
    // Everything written after the header.
    std::string records() const { return device.data().substr(headerSize); }
    bool writeHolder(const ovVariant& value) {
        ovVariantMapImpl values;
        values["v"] = value;
        return writer.writeEntity("holder", values, writer.generateEntityId());
    }
    // The parameter text a value takes in a holder record of its own.
    std::string writtenValue(const ovVariant& value) {
        const size_t before = device.data().size();
        EXPECT_TRUE(writeHolder(value));
        const std::string record = device.data().substr(before);
        const size_t open = record.find("=HOLDER(") + 8;
        const bool framed = record.starts_with("#") && open > 8 && record.ends_with(");\r\n");
        return framed ? record.substr(open, record.size() - open - 4) : "unframed " + record;
    }

    SoftwareVersionInfoForStream previousVersion = GetSoftwareVersionForStream();
    ov::test::FixedClock clock;
    ov::test::LogCapture log;
    express::ExpressSchema schema = loadSchema(stepData("toy_schema.exp"));
    SaveMeshOptions options{"", "tester", false, false};
    ovIoDeviceMemory device;
    Part21Writer writer;
    size_t headerSize = 0;
};

}  // namespace ov::step::test
