#include <algorithm>
#include <map>
#include <random>

#include <gtest/gtest.h>

#include "StepTestSupport.h"

namespace ov::step::test {
namespace {

using Strings = std::vector<std::string>;
constexpr char kFooter[] = "ENDSEC;\r\nEND-ISO-10303-21;\r\n";

// ---------------------------------------------------------------- header

TEST(Part21WriterHeader, NamesFileTimeAuthorAndVersion) {
    ov::test::FixedClock clock({1796418900000, 0});  // 2026-12-04T21:15:00Z
    SoftwareVersionGuard version({"1.0", ""});
    express::ExpressSchema schema;
    ovIoDeviceMemory device;
    Part21Writer writer;
    ASSERT_TRUE(writer.beginWritePart21("part.stp", SaveMeshOptions{"ignored.stp", "a'b", false, false},
                                        &schema, &device));
    EXPECT_NE(
        device.data().find(
            "\r\nFILE_NAME('part.stp','2026-12-04T21:15:00',('ab'),(''),'Part21 Writer','1.0','');\r\n"),
        std::string::npos)
        << device.data();
}

TEST_F(ToyFileTest, HeaderIsTheFixedSectionWithCrLfLineEnds) {
    EXPECT_EQ(device.data(), expectedHeader("toy.stp"));
}

TEST_F(ToyFileTest, FileNameIsEncodedAndKeepsWhatConverted) {
    ASSERT_TRUE(writer.beginWritePart21("it's \xC3\xA9.stp", options, &schema, &device));
    EXPECT_NE(device.data().find("FILE_NAME('it''s \\X2\\00E9\\X0\\.stp','"), std::string::npos);

    ASSERT_TRUE(writer.beginWritePart21("ab\xFF.stp", options, &schema, &device));
    EXPECT_NE(device.data().find("FILE_NAME('ab','"), std::string::npos);
    EXPECT_EQ(log.texts(ovLogError), Strings{"Utf8ToPart21Encoding, exception Invalid UTF-8"});
}

TEST_F(ToyFileTest, FileRightAfterHeaderClosesCleanly) {
    EXPECT_TRUE(writer.endWritePart21());
    EXPECT_EQ(device.data(), expectedHeader("toy.stp") + kFooter);
    EXPECT_FALSE(writer.isWriteError());
}

// ---------------------------------------------------------------- missing device or schema

TEST(Part21WriterState, RefusesWorkWithoutDeviceOrSchema) {
    ov::test::LogCapture log;
    express::ExpressSchema schema;
    ovIoDeviceMemory device;
    const SaveMeshOptions options;

    Part21Writer idle;
    EXPECT_FALSE(idle.writeEntity("holder", {}, idle.generateEntityId()));
    EXPECT_TRUE(idle.isWriteError());
    Part21Writer idleAtEnd;
    EXPECT_FALSE(idleAtEnd.endWritePart21());

    Part21Writer noDevice;
    EXPECT_FALSE(noDevice.beginWritePart21("a.stp", options, &schema, nullptr));
    Part21Writer noSchema;
    EXPECT_FALSE(noSchema.beginWritePart21("a.stp", options, nullptr, &device));
    EXPECT_TRUE(noSchema.isWriteError());
    // The failed start is sticky: nothing more is tried or logged.
    EXPECT_FALSE(noSchema.writeEntity("holder", {}, noSchema.generateEntityId()));
    EXPECT_FALSE(noSchema.endWritePart21());

    EXPECT_EQ(log.texts(ovLogError), Strings(4, "Missing output device or schema"));
    EXPECT_TRUE(device.data().empty());
}

// ---------------------------------------------------------------- ids

TEST_F(ToyFileTest, IdsCountFromOneAndRestartWithEachFile) {
    Part21Writer fresh;
    EXPECT_EQ(fresh.generateEntityId(), Part21WriterUserData(uint64_t{1}));
    EXPECT_EQ(fresh.generateEntityId(), Part21WriterUserData(uint64_t{2}));

    EXPECT_EQ(writer.generateEntityId().getRef(), 1u);
    EXPECT_EQ(writer.generateEntityId().getRef(), 2u);
    ASSERT_TRUE(writer.beginWritePart21("again.stp", options, &schema, &device));
    EXPECT_EQ(writer.generateEntityId().getRef(), 1u);
}

TEST_F(ToyFileTest, IdsMayBeWrittenInAnyOrder) {
    const auto first = writer.generateEntityId();
    const auto second = writer.generateEntityId();
    const auto third = writer.generateEntityId();
    EXPECT_TRUE(writer.writeEntity("thing", valuesOf({{"label", "c"}, {"target", ref(first)}}), third));
    EXPECT_TRUE(writer.writeEntity("thing", valuesOf({{"label", "a"}}), first));
    EXPECT_TRUE(writer.writeEntity("thing", valuesOf({{"label", "b"}, {"target", ref(third)}}), second));
    EXPECT_TRUE(writer.endWritePart21());
    EXPECT_EQ(records(),
              std::string("#3=THING('c',#1);\r\n#1=THING('a',$);\r\n#2=THING('b',#3);\r\n") + kFooter);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(ToyFileTest, IdsThatWereNotHandedOutAreRefused) {
    const std::pair<Part21WriterUserData, const char*> invalid[] = {
        {Part21WriterUserData(), "Invalid entity id 0"},
        {Part21WriterUserData(std::string("X")), "Invalid entity id 0"},
        {Part21WriterUserData(Part21WriterUserData::DotIdentifier), "Invalid entity id 0"},
        {Part21WriterUserData(uint64_t{0}), "Invalid entity id 0"},
        {Part21WriterUserData(uint64_t{2}), "Invalid entity id 2"},
    };
    for (const auto& [id, message] : invalid) {
        startFile();
        writer.generateEntityId();
        log.clear();
        EXPECT_FALSE(writer.writeEntity("empty_one", {}, id));
        EXPECT_EQ(log.texts(ovLogError), Strings{message});
        EXPECT_TRUE(records().empty());
    }
}

TEST_F(ToyFileTest, AnIdIsWrittenOnce) {
    const auto id = writer.generateEntityId();
    EXPECT_TRUE(writer.writeEntity("empty_one", {}, id));
    EXPECT_FALSE(writer.writeEntity("empty_one", {}, id));
    EXPECT_EQ(log.texts(ovLogError), Strings{"Entity 1 was already streamed"});
    EXPECT_EQ(records(), "#1=EMPTY_ONE();\r\n");
}

TEST_F(ToyFileTest, ClosingNeedsEveryIdWritten) {
    writer.generateEntityId();
    const auto second = writer.generateEntityId();
    const auto third = writer.generateEntityId();
    ASSERT_TRUE(writer.writeEntity("empty_one", {}, second));
    ASSERT_TRUE(writer.writeEntity("empty_one", {}, third));
    EXPECT_FALSE(writer.endWritePart21());
    EXPECT_EQ(log.texts(ovLogError), Strings{"Entities were not streamed"});
    EXPECT_EQ(records(), "#2=EMPTY_ONE();\r\n#3=EMPTY_ONE();\r\n");
    EXPECT_TRUE(writer.isWriteError());
}

// ---------------------------------------------------------------- record layout

TEST_F(ToyFileTest, SimpleInstancesFollowTheSchemaOrder) {
    const auto target = writer.generateEntityId();
    EXPECT_TRUE(writer.writeEntity(
        "thing", valuesOf({{"target", ref(target)}, {"label", "x"}, {"unknown", 1}}), target));
    EXPECT_TRUE(writer.writeEntity("all_optional", {}, writer.generateEntityId()));
    EXPECT_TRUE(writer.writeEntity("all_optional", valuesOf({{"b", 4}}), writer.generateEntityId()));
    EXPECT_TRUE(writer.writeEntity("empty_one", {}, writer.generateEntityId()));
    EXPECT_EQ(records(),
              "#1=THING('x',#1);\r\n"
              "#2=ALL_OPTIONAL($,$,$);\r\n"
              "#3=ALL_OPTIONAL($,4,$);\r\n"
              "#4=EMPTY_ONE();\r\n");
}

TEST_F(ToyFileTest, SubtypeInstancesListInheritedAttributesFirst) {
    EXPECT_TRUE(writer.writeEntity("left_part", valuesOf({{"x", 1.5}, {"l", 5}}), writer.generateEntityId()));
    // The derived redeclaration stands at its own place; the inherited x is skipped.
    EXPECT_TRUE(
        writer.writeEntity("right_part", valuesOf({{"x", 2.5}, {"r", 6}}), writer.generateEntityId()));
    EXPECT_EQ(records(),
              "#1=LEFT_PART(1.5,$,5);\r\n"
              "#2=RIGHT_PART($,6,2.5);\r\n");
}

TEST_F(ToyFileTest, ComplexInstancesListPartialValuesByUpperCaseName) {
    const auto values = valuesOf({{"x", 1.5}, {"l", 5}, {"r", 6}});
    EXPECT_TRUE(writer.writeEntity({"right_part", "left_part"}, values, writer.generateEntityId()));
    EXPECT_TRUE(writer.writeEntity(std::list<std::string>{"left_part", "right_part"}, values,
                                   writer.generateEntityId()));
    EXPECT_TRUE(writer.writeEntity({"left_part", "base"}, values, writer.generateEntityId()));
    EXPECT_EQ(records(),
              "#1=(BASE(*,$)LEFT_PART(5)RIGHT_PART(6));\r\n"
              "#2=(BASE(*,$)LEFT_PART(5)RIGHT_PART(6));\r\n"
              "#3=(BASE(1.5,$)LEFT_PART(5));\r\n");
}

TEST_F(ToyFileTest, MissingMandatoryValueFailsAfterWhatWasWritten) {
    EXPECT_FALSE(
        writer.writeEntity({"right_part", "left_part"}, valuesOf({{"r", 6}}), writer.generateEntityId()));
    EXPECT_EQ(log.texts(ovLogError),
              Strings{"Missing value for attribute 'l' while writing entity '[right_part, left_part]'"});
    EXPECT_EQ(records(), "#1=(BASE(*,$)LEFT_PART(");
}

TEST_F(ToyFileTest, NamesTheSchemaDoesNotResolveFailWithoutLogLine) {
    const std::list<std::string> unresolved[] = {
        {"no_such_entity"}, {"HOLDER"}, {"holder", "holder"}, {"holder", "missing"}};
    for (const auto& names : unresolved) {
        startFile();
        EXPECT_FALSE(writer.writeEntity(names, valuesOf({{"v", 1}}), writer.generateEntityId()));
        EXPECT_TRUE(writer.isWriteError());
        EXPECT_TRUE(records().empty());
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(ToyFileTest, AFailureStopsAllFurtherOutput) {
    const auto values = valuesOf({{"v", 1}});
    ASSERT_FALSE(writer.writeEntity("holder", valuesOf({{"v", ovVariant()}}), writer.generateEntityId()));
    const std::string afterFailure = device.data();
    log.clear();
    EXPECT_FALSE(writer.writeEntity("holder", values, writer.generateEntityId()));
    EXPECT_FALSE(writer.endWritePart21());
    EXPECT_EQ(device.data(), afterFailure);
    EXPECT_TRUE(log.lines().empty());

    // A new file starts afresh.
    startFile();
    EXPECT_TRUE(writer.writeEntity("holder", values, writer.generateEntityId()));
    EXPECT_TRUE(writer.endWritePart21());
}

TEST_F(ToyFileTest, ResolvedLayoutsAreKeptForTheFile) {
    ASSERT_TRUE(writer.writeEntity("empty_one", {}, writer.generateEntityId()));
    schema.entities.erase("empty_one");
    EXPECT_TRUE(writer.writeEntity("empty_one", {}, writer.generateEntityId()));

    startFile();
    EXPECT_FALSE(writer.writeEntity("empty_one", {}, writer.generateEntityId()));
}

// Attribute names sharing long prefixes, to be found among keys that differ
// from them in every place and length.
constexpr char kLookupSchemaText[] = R"(SCHEMA lookup_schema;
ENTITY long_names;
  attribute_one : OPTIONAL INTEGER;
  attribute_one_more : OPTIONAL INTEGER;
  attribute_onf : OPTIONAL INTEGER;
  an_attribute_whose_name_is_long : OPTIONAL INTEGER;
  an_attribute_whose_name_is_longer : OPTIONAL INTEGER;
  b : OPTIONAL INTEGER;
  bb : OPTIONAL INTEGER;
END_ENTITY;
END_SCHEMA;
)";

TEST(Part21WriterLayout, ValuesAreFoundWhateverElseTheMapHolds) {
    ov::test::LogCapture log;
    express::ExpressSchema schema = loadSchemaText(kLookupSchemaText);
    const Strings attributes = {"attribute_one",
                                "attribute_one_more",
                                "attribute_onf",
                                "an_attribute_whose_name_is_long",
                                "an_attribute_whose_name_is_longer",
                                "b",
                                "bb"};
    Strings keys = {"",
                    "a",
                    "attribute_on",
                    "attribute_onee",
                    "attribute_one_mord",
                    "an_attribute_whose_name_is_lonf",
                    "an_attribute_whose_name_is_longe",
                    "an_attribute_whose_name_is_longerr",
                    "b\xC3\xA9",
                    "ba",
                    "c"};
    keys.insert(keys.end(), attributes.begin(), attributes.end());
    ovIoDeviceMemory device;
    Part21Writer writer;
    ASSERT_TRUE(writer.beginWritePart21("lookup.stp", SaveMeshOptions{}, &schema, &device));
    std::string expected = device.data();

    std::mt19937 random(20261204);
    for (int round = 0; round < 600; ++round) {
        ovVariantMapImpl values;
        std::map<std::string, int> firstValues;
        for (size_t index = 0; index < keys.size(); ++index) {
            if (random() % 2 == 0) {
                const int value = round * 100 + static_cast<int>(index);
                values.multiInsert(keys[index], value, true);
                firstValues.emplace(keys[index], value);
                // A second value under the key is not the one written.
                if (random() % 8 == 0) {
                    values.multiInsert(keys[index], -1, true);
                }
            }
        }
        // A map far larger than the attribute list is searched rather than walked.
        if (round % 4 == 0) {
            for (int filler = 0; filler < 100; ++filler) {
                values.insert("filler_" + std::to_string(filler), filler);
            }
        }
        const auto id = writer.generateEntityId();
        ASSERT_TRUE(writer.writeEntity("long_names", values, id));
        std::string record = "#" + std::to_string(id.getRef()) + "=LONG_NAMES(";
        for (const std::string& attribute : attributes) {
            const auto found = firstValues.find(attribute);
            record += attribute == attributes.front() ? "" : ",";
            record += found != firstValues.end() ? std::to_string(found->second) : "$";
        }
        expected += record + ");\r\n";
    }
    EXPECT_EQ(device.data(), expected);
    EXPECT_TRUE(log.lines().empty());
}

TEST(Part21WriterLayout, EveryNameListFindsItsOwnLayout) {
    constexpr int kEntities = 120;
    std::string schemaText = "SCHEMA many;\n";
    for (int index = 0; index < kEntities; ++index) {
        const std::string number = std::to_string(index);
        schemaText += "ENTITY e" + number + ";\n  v" + number + " : INTEGER;\nEND_ENTITY;\n";
    }
    express::ExpressSchema schema = loadSchemaText(schemaText + "END_SCHEMA;\n");
    ovIoDeviceMemory device;
    Part21Writer writer;
    ASSERT_TRUE(writer.beginWritePart21("many.stp", SaveMeshOptions{}, &schema, &device));
    std::string expected = device.data();
    uint64_t lastId = 0;
    const auto expectRecord = [&](bool written, const std::string& body) {
        EXPECT_TRUE(written) << body;
        expected += "#" + std::to_string(++lastId) + "=" + body + ";\r\n";
    };

    // Each name alone, in each of the three forms, and with the next name in
    // both orders; twice, so that the second round finds what the first resolved.
    for (int round = 0; round < 2; ++round) {
        for (int index = 0; index < kEntities; ++index) {
            const std::string number = std::to_string(index);
            const std::string nextNumber = std::to_string((index + 1) % kEntities);
            const std::string name = "e" + number;
            const std::string next = "e" + nextNumber;
            ovVariantMapImpl values;
            values["v" + number] = index;
            values["v" + nextNumber] = -index;
            const std::string own = "E" + number + "(" + std::to_string(index) + ")";
            const std::string other = "E" + nextNumber + "(" + std::to_string(-index) + ")";
            const std::string complex = "(" + (own < other ? own + other : other + own) + ")";

            expectRecord(writer.writeEntity(name, values, writer.generateEntityId()), own);
            expectRecord(writer.writeEntity(std::initializer_list<std::string>{name}, values,
                                            writer.generateEntityId()),
                         own);
            expectRecord(writer.writeEntity(std::list<std::string>{name}, values, writer.generateEntityId()),
                         own);
            expectRecord(writer.writeEntity({name, next}, values, writer.generateEntityId()), complex);
            expectRecord(writer.writeEntity({next, name}, values, writer.generateEntityId()), complex);
        }
    }
    EXPECT_EQ(device.data(), expected);
}

// ---------------------------------------------------------------- failing devices

// Keeps every write apart, to tell where the writer's tokens start and end.
class TokenRecorder : public ovIoDevice {
public:
    bool good() const override { return true; }
    int64_t write(const char* bytes, int64_t length) override {
        data.append(bytes, static_cast<size_t>(length));
        sizes.push_back(length);
        return length;
    }
    int64_t read(char*, int64_t) override { return -1; }

    std::string data;
    std::vector<int64_t> sizes;
};

// Writes a file with one record of each layout, going on after a failure;
// answers how many calls succeeded before the first failure (7 for the whole file).
int writeSampleFile(express::ExpressSchema& schema, ovIoDevice& device, Part21Writer& writer) {
    const SaveMeshOptions options{"", "tester", false, false};
    const bool begun = writer.beginWritePart21("sample.stp", options, &schema, &device);
    const auto first = writer.generateEntityId();
    const auto second = writer.generateEntityId();
    const bool results[] = {
        begun,
        writer.writeEntity("thing", valuesOf({{"label", "caf\xC3\xA9 'x'"}, {"target", ref(second)}}), first),
        writer.writeEntity("thing", valuesOf({{"label", ""}}), second),
        writer.writeEntity("all_optional", valuesOf({{"a", "a"}, {"c", 0.1}}), writer.generateEntityId()),
        writer.writeEntity({"right_part", "left_part"}, valuesOf({{"x", -3.25}, {"l", 5}, {"r", 6}}),
                           writer.generateEntityId()),
        writer.writeEntity(
            "holder",
            valuesOf({{"v", list({vec3(1, 0, 0), enumValue("UNSPECIFIED"), ovVariant(true), ref(first)})}}),
            writer.generateEntityId()),
        writer.endWritePart21(),
    };
    return static_cast<int>(std::find(std::begin(results), std::end(results), false) - std::begin(results));
}

// The number of write calls a device limited to `limit` bytes sees: every
// token up to and including the first one that does not fit.
int64_t callsUntilShortWrite(const std::vector<int64_t>& sizes, int64_t limit) {
    int64_t taken = 0;
    for (size_t index = 0; index < sizes.size(); ++index) {
        if (taken + sizes[index] > limit) {
            return static_cast<int64_t>(index + 1);
        }
        taken += sizes[index];
    }
    return static_cast<int64_t>(sizes.size());
}

TEST(Part21WriterDevice, NothingIsWrittenPastTheFirstShortWrite) {
    ov::test::FixedClock clock;
    express::ExpressSchema schema = loadToySchema();
    TokenRecorder full;
    Part21Writer reference;
    ASSERT_EQ(writeSampleFile(schema, full, reference), 7);
    const auto headerSize = full.sizes.front();
    const auto footerStart = static_cast<int64_t>(full.data.size()) - full.sizes.back();

    for (int64_t limit = 0; limit < static_cast<int64_t>(full.data.size()); ++limit) {
        SCOPED_TRACE("device limited to " + std::to_string(limit) + " bytes");
        ov::test::LogCapture log;
        ovIoDeviceFaultInjector device(limit, ovIoDeviceFaultInjector::kNoLimit);
        Part21Writer writer;
        EXPECT_LT(writeSampleFile(schema, device, writer), 7);
        EXPECT_EQ(device.data(), full.data.substr(0, static_cast<size_t>(limit)));
        EXPECT_EQ(device.writeCalls(), callsUntilShortWrite(full.sizes, limit));
        EXPECT_TRUE(writer.isWriteError());

        const Strings expectedLog = limit < headerSize     ? Strings{"Fail to write header"}
                                    : limit >= footerStart ? Strings{"Fail to write footer"}
                                                           : Strings{};
        EXPECT_EQ(log.texts(ovLogError), expectedLog);
    }
}

TEST(Part21WriterDevice, ADeviceThatGoesBadFailsHeaderOrFooter) {
    ov::test::FixedClock clock;
    ov::test::LogCapture log;
    express::ExpressSchema schema = loadToySchema();
    TokenRecorder full;
    Part21Writer reference;
    ASSERT_EQ(writeSampleFile(schema, full, reference), 7);

    ovIoDeviceFaultInjector badInHeader(ovIoDeviceFaultInjector::kNoLimit, 10);
    Part21Writer first;
    EXPECT_EQ(writeSampleFile(schema, badInHeader, first), 0);
    EXPECT_EQ(badInHeader.writeCalls(), 1);

    // Goodness is only asked after the header and after the footer.
    ovIoDeviceFaultInjector badInRecords(ovIoDeviceFaultInjector::kNoLimit, full.sizes.front() + 1);
    Part21Writer second;
    EXPECT_EQ(writeSampleFile(schema, badInRecords, second), 6);
    EXPECT_EQ(badInRecords.data(), full.data);

    EXPECT_EQ(log.texts(ovLogError), Strings(2, "Output devise is not good"));
}

}  // namespace
}  // namespace ov::step::test
