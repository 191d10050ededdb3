// The exchange-file writer: whole files against the golden files under
// tests/data/step, value texts, misuse and failing devices.
#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "Part21WriterTestAccess.h"
#include "express/ExpressSchema.h"
#include "step/StepRules.h"
#include "support/TestSupport.h"
#include "system/ovVariantContainers.h"

namespace ov::step {
namespace {

using Strings = std::vector<std::string>;
using Id = Part21WriterUserData;

// Reads the value at `at` of a record text: 'text' (quotes doubled), #id,
// .ENUM., (list), ~ for IDENTIFIER('.') and numbers, all given as reals.
ovVariant parseValue(const std::string& text, size_t& at) {
    const char first = text[at++];
    if (first == '\'') {
        std::string value;
        for (; !(text[at] == '\'' && text[at + 1] != '\''); ++at) {
            at += text[at] == '\'' ? 1 : 0;  // a doubled quote stands for one
            value += text[at];
        }
        ++at;
        return ovVariant(value);
    }
    if (first == '(') {
        ovVariantListImpl items;
        for (; text[at] != ')'; at += text[at] == ',' ? 1 : 0) {
            items.push_back(parseValue(text, at));
        }
        ++at;
        return ovVariant(items);
    }
    if (first == '~') {
        return Id(Id::DotIdentifier).toVariant();
    }
    const size_t end = std::min(text.find_first_of(first == '.' ? "." : " ,)", at), text.size());
    const std::string word = text.substr(at, end - at);
    at = end + (first == '.' ? 1 : 0);
    return first == '.'   ? Id(word).toVariant()
           : first == '#' ? Id(std::stoull(word)).toVariant()
                          : ovVariant(std::stod(first + word));
}

ovVariant parsed(const std::string& text) {
    size_t at = 0;
    return parseValue(text, at);
}

// Writes records given one a line as "#id name [name...] : attribute=value ...",
// every id up to the largest handed out first, as value maps or as attributes
// in the reverse order. Answers whether each was written.
std::vector<bool> writeRecords(Part21Writer& writer, const std::string& text, bool asAttributes = false) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    uint64_t lastId = 0;
    for (std::string line; std::getline(stream, line); lines.push_back(line)) {
        lastId = std::max<uint64_t>(lastId, std::stoull(line.substr(1)));
    }
    for (uint64_t id = 0; id < lastId; ++id) {
        writer.generateEntityId();
    }
    std::vector<bool> written;
    for (const std::string& line : lines) {
        std::istringstream head(line.substr(1, line.find(':') - 1));
        uint64_t id = 0;
        std::list<std::string> names;
        head >> id;
        for (std::string name; head >> name;) {
            names.push_back(name);
        }
        ovVariantMapImpl values;
        std::vector<Part21Attribute> attributes;
        for (size_t at = line.find(':') + 1; (at = line.find_first_not_of(' ', at)) != std::string::npos;) {
            const std::string_view attribute(line.data() + at, line.find('=', at) - at);
            at += attribute.size() + 1;
            values[attribute] = parseValue(line, at);
            attributes.insert(attributes.begin(), {attribute, values[attribute]});
        }
        written.push_back(asAttributes ? writer.writeAttributes(names, attributes, Id(id))
                                       : writer.writeEntity(names, values, Id(id)));
    }
    return written;
}

// A writer that has begun a file on a memory device with the toy schema, under
// a fixed clock and version text, with the log captured.
class ToyFileTest : public ::testing::Test {
protected:
    ToyFileTest() { SetSoftwareVersionForStream({"ovmesh-test", "1.0"}); }
    ~ToyFileTest() override { SetSoftwareVersionForStream(previousVersion); }
    void SetUp() override {
        ASSERT_TRUE(schema.loadSchema((ov::test::testDataDir() / "step" / "toy_schema.exp").string()));
        startFile();
    }
    void startFile(const std::string& name = "toy.stp") {
        device = ovIoDeviceMemory();
        ASSERT_TRUE(writer.beginWritePart21(headerOf(name), &schema, &device));
        headerSize = device.data().size();
    }
    // The exact profile's header.
    Part21Header headerOf(const std::string& name) const {
        return {name, author, GetSoftwareVersionForStream().toString(),
                StepRules::of(StepSaveSettings()).fileSchemas, false};
    }
    std::string records() const { return device.data().substr(headerSize); }
    bool writeHolder(const ovVariant& value) {
        ovVariantMapImpl values;
        values["v"] = value;
        return writer.writeEntity("holder", values, writer.generateEntityId());
    }
    // The parameter text of a value in a holder record of its own.
    std::string writtenValue(const ovVariant& value) {
        const size_t before = device.data().size();
        EXPECT_TRUE(writeHolder(value));
        const std::string record = device.data().substr(before);
        const size_t open = record.find("=HOLDER(") + 8;
        const bool framed = record.starts_with("#") && open > 8 && record.ends_with(");\r\n");
        return framed ? record.substr(open, record.size() - open - 4) : "unframed " + record;
    }

    // Six records of the toy schema, one a line.
    const std::string toyRecords = ov::test::readFile(ov::test::testDataDir() / "step" / "toy.records");
    SoftwareVersionInfoForStream previousVersion = GetSoftwareVersionForStream();
    ov::test::FixedClock clock;
    ov::test::LogCapture log;
    express::ExpressSchema schema;
    std::string author = "tester";
    ovIoDeviceMemory device;
    Part21Writer writer;
    size_t headerSize = 0;
};

// The header names the file as given, the author
// without quotes and the version without a blank when it has no number.
TEST_F(ToyFileTest, FailuresLeaveTheFileUnfinished) {
    SetSoftwareVersionForStream({"1.0", ""});
    author = "a'b";
    startFile("it's \xC3\xA9.stp");
    // The failure is sticky: the next record is refused without a word.
    EXPECT_EQ(writeRecords(writer, toyRecords + "#7 thing : target=#7\n#8 empty_one :\n"),
              (std::vector<bool>{true, true, true, true, true, true, false, false}));
    EXPECT_FALSE(writer.endWritePart21());
    ov::test::expectMatchesGolden("step/toy_failed_record.stp", device.data());
    EXPECT_EQ(log.texts(ovLogError),
              Strings{"Missing value for attribute 'label' while writing entity '[thing]'"});
}

// The file stops at the first byte the device refuses, whichever token it is in.
TEST_F(ToyFileTest, AFailingDeviceStopsTheFile) {
    EXPECT_EQ(writeRecords(writer, toyRecords), std::vector<bool>(6, true));
    const std::string good = device.data();
    for (size_t limit = headerSize; limit < good.size(); ++limit) {
        ovIoDeviceFaultInjector shortWrites(static_cast<int64_t>(limit), ovIoDeviceFaultInjector::kNoLimit);
        Part21Writer cut;
        ASSERT_TRUE(cut.beginWritePart21(headerOf("toy.stp"), &schema, &shortWrites));
        EXPECT_NE(writeRecords(cut, toyRecords), std::vector<bool>(6, true)) << limit;
        EXPECT_EQ(shortWrites.data(), good.substr(0, limit));
    }
}

// A record given as attributes, in any order, is the record of the same values
// as a map; of a name given twice, the first value counts.
TEST_F(ToyFileTest, RecordsFromAttributesAreThoseFromMaps) {
    EXPECT_EQ(writeRecords(writer, toyRecords), std::vector<bool>(6, true));
    const std::string fromMaps = records();
    startFile();
    EXPECT_EQ(writeRecords(writer, toyRecords, true), std::vector<bool>(6, true));
    const Part21Attribute twice[] = {{"w", ovVariant(0)}, {"v", ovVariant(1)}, {"v", ovVariant(2)}};
    EXPECT_TRUE(writer.writeAttributes("holder", twice, writer.generateEntityId()));
    EXPECT_EQ(records(), fromMaps + "#7=HOLDER(1);\r\n");
}

// Keys that share the start of the attribute's name come before and after it;
// a map far larger than the attribute list is searched rather than walked.
TEST_F(ToyFileTest, TheValueIsFoundAmongKeysThatShareItsNamesStart) {
    ovVariantMapImpl values;
    for (const char* key : {"", "u", "vv", "v\xC3\xA9", "w"}) {
        values[key] = -1;
    }
    values["v"] = 7;
    EXPECT_TRUE(writer.writeEntity("holder", values, writer.generateEntityId()));
    for (int filler = 0; filler < 10; ++filler) {
        values['x' + std::to_string(filler)] = filler;
    }
    EXPECT_TRUE(writer.writeEntity("holder", values, writer.generateEntityId()));
    EXPECT_EQ(records(), "#1=HOLDER(7);\r\n#2=HOLDER(7);\r\n");
}

TEST_F(ToyFileTest, StringsAreEncodedOrRefusedWithTheDecoderReason) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"", "", ""},
        {"Plain 0-9 ~{} It's a\\b", "Plain 0-9 ~{} It''s a\\\\b", ""},
        {std::string("\n\0\x1F\x7F", 4), "\\X2\\000A\\X0\\\\X2\\0000\\X0\\\\X2\\001F\\X0\\\\X2\\007F\\X0\\",
         ""},
        {"\xC3\xA9\xEF\xBF\xBF", "\\X2\\00E9\\X0\\\\X2\\FFFF\\X0\\", ""},
        {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", "\\X4\\00010000\\X0\\\\X4\\0010FFFF\\X0\\", ""},
        {"\xC3", "", "Not enough space"},
        {"\xFF", "", "Invalid UTF-8"},
        {"\xED\xA0\x80", "", "Invalid code point"},                            // surrogate
        {"It's\xC3\xA9!\xFFtail", "It''s\\X2\\00E9\\X0\\!", "Invalid UTF-8"},  // keeps what converted
    };
    for (const auto& [in, out, error] : cases) {
        log.clear();
        std::string encoded = "stale";
        EXPECT_EQ(Part21WriterTestAccess::Utf8ToPart21Encoding(in, encoded), error.empty()) << out;
        EXPECT_EQ(encoded, out);
        EXPECT_EQ(log.texts(ovLogError),
                  error.empty() ? Strings{} : Strings{"Utf8ToPart21Encoding, exception " + error});
    }
    // Plain text is recognised several bytes at a time: every byte in every
    // place of a text must still give the encoder's text in a record, or fail it.
    for (size_t place = 0; place < 16; ++place) {
        for (int byte = 0; byte < 256; ++byte) {
            std::string text = "Plain_text-0123.", encoded;
            text[place] = static_cast<char>(byte);
            if (!Part21WriterTestAccess::Utf8ToPart21Encoding(text, encoded)) {
                ASSERT_FALSE(writeHolder(ovVariant(text))) << place << " " << byte;
                startFile();
            } else {
                ASSERT_EQ(writtenValue(ovVariant(text)), "'" + encoded + "'") << place << " " << byte;
            }
        }
    }
}

// Finite reals carry the exact text of printf's "%.99G"; the others fixed texts.
TEST_F(ToyFileTest, RealsCarryTheirExactValue) {
    const double nan = std::numeric_limits<double>::quiet_NaN(),
                 inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(writtenValue(ovVariant(nan)) + writtenValue(ovVariant(-nan)), "nannan");
    EXPECT_EQ(writtenValue(ovVariant(inf)) + writtenValue(ovVariant(-inf)), "1.79769E+308-1.79769E+308");
    EXPECT_EQ(writtenValue(ovVariant(0.1)), "0.1000000000000000055511151231257827021181583404541015625");
    std::vector<double> values = {0.0, -0.0, 1e-5, 1e-4, 1e20, 1e98, 1e99, 1e100, 9007199254740993.0, 1e300};
    values.insert(values.end(), {DBL_MAX, std::ldexp(1.0, -1074), std::nextafter(1.0, 0.0)});
    // Powers of two down to where the exact expansion outgrows 99 digits, odd
    // multiples of them, and their neighbours.
    for (int exponent = 1; exponent <= 140; ++exponent) {
        for (const double odd : {1.0, 3.0, 12345.0, 9007199254740991.0}) {
            const double value = std::ldexp(odd, -exponent);
            values.insert(values.end(),
                          {value, -value, std::nextafter(value, 0.0), std::nextafter(value, 1e9)});
        }
    }
    std::mt19937_64 random(20261204);  // random doubles, and floats as most coordinates are
    for (int round = 0; round < 2000; ++round) {
        const uint64_t bits = random();
        values.insert(values.end(),
                      {std::bit_cast<double>(bits), std::bit_cast<float>(static_cast<uint32_t>(bits))});
    }
    std::erase_if(values, [](double value) { return !std::isfinite(value); });
    char expected[256];
    for (const double value : values) {
        std::snprintf(expected, sizeof expected, "%.99G", value);
        ASSERT_EQ(writtenValue(ovVariant(value)), expected) << std::hexfloat << value;
    }
}

TEST_F(ToyFileTest, ValuesTakeTheirExchangeForms) {
    writer.generateEntityId();  // #1 may be referred to before it is written
    const double two[] = {0.5, -1};
    const float four[] = {1, 2, 3, 4.5f};
    const std::pair<ovVariant, std::string> cases[] = {
        {ovVariant(-7), "-7"},
        {ovVariant(std::numeric_limits<int64_t>::min()), "-9223372036854775808"},
        {ovVariant(std::numeric_limits<int64_t>::max()), "9223372036854775807"},
        {ovVariant(true), "1"},
        {ovVariant(false), "0"},
        {ovVariant(two, 2), "(0.5,-1)"},
        {ovVariant(four, 4), "(1,2,3,4.5)"},
        {parsed("(#1,.lower_Case.,~)"), "(#1,.lower_Case.,IDENTIFIER('.'))"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(writtenValue(value), text);
    }
    EXPECT_TRUE(log.lines().empty());
}

class ForeignUserData : public ovVariant::UserDataInterface {
public:
    ForeignUserData* createCopy() const override { return new ForeignUserData(); }
    bool isEqualTo(const ovVariant::UserDataInterface&) const override { return false; }
};

TEST_F(ToyFileTest, MisuseFailsWithItsLogLineAndStaysFailed) {
    ovVariantMapImpl map;
    map["k"] = ovVariant(1);
    const auto writeId = [&](const Id& id) { return writer.writeEntity("empty_one", {}, id); };
    const auto newId = [&] { return writer.generateEntityId(); };
    const auto write = [&](auto... names) {
        return writer.writeEntity({std::string(names)...}, map, newId());
    };
    const std::string badUtf8 = "Utf8ToPart21Encoding, exception Invalid UTF-8",
                      noOutput = "Missing output device or schema",
                      noL = "Missing value for attribute 'l' while writing entity '[right_part, left_part]'";
    const std::tuple<std::function<bool()>, std::string, std::string> cases[] = {
        // what fails, the records written, the one error logged
        {[&] { return writeId(Id()); }, "", "Invalid entity id 0"},
        {[&] { return writeId(Id(uint64_t{1})); }, "", "Invalid entity id 1"},
        {[&] { return writeId(newId()) && writeId(Id(uint64_t{1})); }, "#1=EMPTY_ONE();\r\n",
         "Entity 1 was already streamed"},
        {[&] { return newId() == newId() || writer.endWritePart21(); }, "", "Entities were not streamed"},
        {[&] { return writeHolder(Id(uint64_t{2}).toVariant()); }, "#1=HOLDER(", "Invalid ref 2 in value"},
        {[&] { return writeHolder(Id(uint64_t{0}).toVariant()); }, "#1=HOLDER(", "Invalid ref 0 in value"},
        {[&] { return writeHolder(ovVariant(new ForeignUserData())); }, "#1=HOLDER(", "Invalid user data"},
        {[&] { return writeHolder(ovVariant("ab\xFF")); }, "#1=HOLDER('", badUtf8},
        {[&] { return write("right_part", "left_part"); }, "#1=(BASE(*,$)LEFT_PART(", noL},
        {[&] { return writer.beginWritePart21(headerOf("a"), nullptr, &device); }, "", noOutput},
        // Names the schema does not resolve and kinds without exchange form fail without a word.
        {[&] { return write("HOLDER"); }, "", ""},
        {[&] { return write("holder", "missing"); }, "", ""},
        {[&] { return writeHolder(ovVariant()); }, "#1=HOLDER(", ""},
        {[&] { return writeHolder(ovVariant(map)); }, "#1=HOLDER(", ""},
    };
    for (const auto& [act, records, error] : cases) {
        startFile();
        log.clear();
        EXPECT_FALSE(act());
        EXPECT_EQ(this->records(), records);
        EXPECT_EQ(log.texts(ovLogError), error.empty() ? Strings{} : Strings{error});
        // Nothing more is written or logged.
        const std::string written = device.data();
        log.clear();
        EXPECT_FALSE(writer.writeEntity("empty_one", {}, writer.generateEntityId()) ||
                     writer.endWritePart21());
        EXPECT_EQ(device.data(), written);
        EXPECT_TRUE(log.lines().empty() && writer.isWriteError()) << error;
    }
}

}  // namespace
}  // namespace ov::step
