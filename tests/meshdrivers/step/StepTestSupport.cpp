#include "StepTestSupport.h"

#include <cstdlib>
#include <regex>

namespace ov::step::test {

const char* const kToySchemaText = R"(SCHEMA toy_schema;
(* holder.v takes a value of any kind *)
ENTITY holder;
  v : GENERIC;
END_ENTITY;

ENTITY thing;
  label : STRING;
  target : OPTIONAL thing;
END_ENTITY;

ENTITY all_optional;
  a : OPTIONAL STRING;
  b : OPTIONAL INTEGER;
  c : OPTIONAL REAL;
END_ENTITY;

ENTITY empty_one;
END_ENTITY;

ENTITY base;
  x : REAL;
  y : OPTIONAL REAL;
END_ENTITY;

ENTITY left_part
  SUBTYPE OF (base);
  l : INTEGER;
END_ENTITY;

ENTITY right_part
  SUBTYPE OF (base);
  r : INTEGER;
DERIVE
  SELF\base.x : REAL := 1.0;
END_ENTITY;
END_SCHEMA;
)";

express::ExpressSchema loadSchemaText(const std::string& text) {
    ov::test::TempDir folder;
    const std::string path = folder.file("schema.exp");
    ov::test::writeFile(path, text);
    express::ExpressSchema schema;
    EXPECT_TRUE(schema.loadSchema(path));
    return schema;
}

express::ExpressSchema loadToySchema() {
    return loadSchemaText(kToySchemaText);
}

express::ExpressSchema& ap242Schema() {
    static express::ExpressSchema schema = [] {
        express::ExpressSchema loaded;
        const bool ok =
            loaded.loadSchema((ov::test::sharedDataDir() / "step" / "ap242_1_36_mim_lf.exp").string());
        EXPECT_TRUE(ok);
        return loaded;
    }();
    return schema;
}

SoftwareVersionGuard::SoftwareVersionGuard(SoftwareVersionInfoForStream info)
    : mPrevious(GetSoftwareVersionForStream()) {
    SetSoftwareVersionForStream(std::move(info));
}

SoftwareVersionGuard::~SoftwareVersionGuard() {
    SetSoftwareVersionForStream(mPrevious);
}

std::string expectedHeader(const std::string& encodedFileName) {
    return "ISO-10303-21;\r\n"
           "HEADER;\r\n"
           "FILE_DESCRIPTION(('No description'), '2;1');\r\n"
           "FILE_NAME('" +
           encodedFileName +
           "','2026-06-15T12:34:56',('tester'),(''),'Part21 Writer','ovmesh-test 1.0','');\r\n"
           "FILE_SCHEMA(('AUTOMOTIVE_DESIGN','AP242_MANAGED_MODEL_BASED_3D_ENGINEERING_MIM_LF',"
           "'AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 }'));\r\n"
           "ENDSEC;\r\n"
           "\r\n"
           "DATA;\r\n";
}

ovVariantMapImpl valuesOf(std::initializer_list<std::pair<const char*, ovVariant>> pairs) {
    ovVariantMapImpl values;
    for (const auto& [name, value] : pairs) {
        values[name] = value;
    }
    return values;
}

ovVariant ref(const Part21WriterUserData& id) {
    return id.toVariant();
}

ovVariant ref(uint64_t id) {
    return Part21WriterUserData(id).toVariant();
}

ovVariant enumValue(const std::string& literal) {
    return Part21WriterUserData(literal).toVariant();
}

ovVariant vec3(double x, double y, double z) {
    const double components[] = {x, y, z};
    return ovVariant(components, 3);
}

ovVariantListImpl listOf(std::initializer_list<ovVariant> values) {
    ovVariantListImpl result;
    for (const ovVariant& value : values) {
        result.push_back(value);
    }
    return result;
}

ovVariant list(std::initializer_list<ovVariant> values) {
    return ovVariant(listOf(values));
}

void ToyFileTest::startFile() {
    device = ovIoDeviceMemory();
    ASSERT_TRUE(writer.beginWritePart21("toy.stp", options, &schema, &device));
    headerSize = device.data().size();
}

bool ToyFileTest::writeHolder(const ovVariant& value) {
    ovVariantMapImpl values;
    values["v"] = value;
    return writer.writeEntity("holder", values, writer.generateEntityId());
}

std::string ToyFileTest::writtenValue(const ovVariant& value) {
    const size_t before = device.data().size();
    if (!writeHolder(value)) {
        ADD_FAILURE() << "the holder record was not written";
        return {};
    }
    const std::string record = device.data().substr(before);
    const size_t open = record.find("HOLDER(");
    const size_t close = record.rfind(");\r\n");
    if (open == std::string::npos || close == std::string::npos || close + 4 != record.size()) {
        ADD_FAILURE() << "unexpected record " << record;
        return {};
    }
    return record.substr(open + 7, close - open - 7);
}

void expectMatchesGolden(const std::string& actual, const std::string& goldenName) {
    const std::filesystem::path golden = ov::test::testDataDir() / "step" / goldenName;
    if (std::getenv("OV_UPDATE_GOLDEN") != nullptr) {
        ov::test::writeFile(golden, actual);
        return;
    }
    ASSERT_TRUE(std::filesystem::exists(golden)) << golden << " is missing";
    EXPECT_EQ(actual, ov::test::readFile(golden)) << "differs from " << golden;
}

bool independentReaderAvailable() {
#ifdef OV_OCCT_STEP_READER
    return true;
#else
    return false;
#endif
}

bool loadWithIndependentReader(const std::filesystem::path& file, int& entityCount, std::string& report) {
    entityCount = -1;
#ifdef OV_OCCT_STEP_READER
    const std::filesystem::path output = std::filesystem::path(file).replace_extension(".reader.txt");
    const std::string command =
        "\"" OV_OCCT_STEP_READER "\" \"" + file.string() + "\" > \"" + output.string() + "\" 2>&1";
    const int status = std::system(command.c_str());
    report = ov::test::readFile(output);
    std::smatch count;
    if (std::regex_search(report, count, std::regex("entities: ([0-9]+)"))) {
        entityCount = std::stoi(count[1]);
    }
    return status == 0;
#else
    (void)file;
    report = "no independent reader was built";
    return false;
#endif
}

}  // namespace ov::step::test
