// Whole files compared byte for byte with the golden files under tests/data/step.
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <list>
#include <sstream>

#include "StepTestSupport.h"

namespace ov::step::test {
namespace {

// Reads one value of the record texts at `at`: 'text' (quotes doubled), #id,
// .ENUM., (list), [x,y,z] vector, ~ for IDENTIFIER('.'), numbers (reals when
// they hold '.' or 'e').
ovVariant parseValue(const std::string& text, size_t& at) {
    const char first = text[at];
    if (first == '\'') {
        std::string value;
        for (++at; !(text[at] == '\'' && text[at + 1] != '\''); ++at) {
            at += text[at] == '\'' ? 1 : 0;
            value += text[at];
        }
        ++at;
        return ovVariant(value);
    }
    if (first == '(' || first == '[') {
        ovVariantListImpl items;
        std::vector<double> components;
        for (++at; text[at] != ')' && text[at] != ']'; at += text[at] == ',' ? 1 : 0) {
            const ovVariant item = parseValue(text, at);
            items.push_back(item);
            components.push_back(item.toReal());
        }
        ++at;
        return first == '(' ? ovVariant(items)
                            : ovVariant(components.data(), static_cast<int>(components.size()));
    }
    if (first == '#') {
        size_t digits = 0;
        const uint64_t id = std::stoull(text.substr(at + 1), &digits);
        at += digits + 1;
        return ref(id);
    }
    if (first == '.' || first == '~') {
        const size_t end = first == '.' ? text.find('.', at + 1) : at;
        const std::string literal = text.substr(at + 1, end - at - 1);
        at = end + 1;
        return first == '.' ? Part21WriterUserData(literal).toVariant()
                            : Part21WriterUserData(Part21WriterUserData::DotIdentifier).toVariant();
    }
    const size_t end = std::min(text.find_first_of(" ,)]", at), text.size());
    const std::string number = text.substr(at, end - at);
    at = end;
    if (number.find_first_of(".e") != std::string::npos) {
        return ovVariant(std::stod(number));
    }
    return ovVariant(static_cast<int64_t>(std::stoll(number)));
}

// Writes records given one a line as "#id name [name...] : attribute=value ...".
// Every id up to the largest is handed out first, so records may come in any
// order. Answers whether each record was written.
std::vector<bool> writeRecords(Part21Writer& writer, const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    uint64_t lastId = 0;
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
        lastId = std::max<uint64_t>(lastId, std::stoull(line.substr(1)));
    }
    for (uint64_t id = 0; id < lastId; ++id) {
        writer.generateEntityId();
    }
    std::vector<bool> written;
    for (const std::string& line : lines) {
        std::istringstream head(line.substr(1, line.find(':') - 1));
        uint64_t id = 0;
        head >> id;
        std::list<std::string> names;
        for (std::string name; head >> name;) {
            names.push_back(name);
        }
        ovVariantMapImpl values;
        for (size_t at = line.find(':') + 1; (at = line.find_first_not_of(' ', at)) != std::string::npos;) {
            const size_t equals = line.find('=', at);
            const std::string attribute = line.substr(at, equals - at);
            at = equals + 1;
            values[attribute] = parseValue(line, at);
        }
        written.push_back(writer.writeEntity(names, values, Part21WriterUserData(id)));
    }
    return written;
}

class GoldenFileTest : public ToyFileTest {
protected:
    // Writes a file through a buffered file stream, as the drivers do, and
    // answers its bytes.
    std::string writeFile(const std::string& name, express::ExpressSchema& fileSchema,
                          const std::function<void()>& content) {
        path = folder.file(name);
        ovIoDeviceFileStream stream(path, ovIoDevice::WriteOnly, true);
        EXPECT_TRUE(writer.beginWritePart21(name, options, &fileSchema, &stream));
        content();
        EXPECT_TRUE(stream.close());
        return ov::test::readFile(path);
    }

    ov::test::TempDir folder;
    std::string path;
    const std::string toyRecords = ov::test::readFile(stepData("toy.records"));
};

// An assembly "Root" holding the part "Bracket d'angle é", moved by (10, 0, 2.5),
// and the external reference "bolt.stp" in place.
TEST_F(GoldenFileTest, Ap242AssemblyIsAcceptedByAnIndependentReader) {
    express::ExpressSchema ap242 = loadSchema(ov::test::sharedDataDir() / "step" / "ap242_1_36_mim_lf.exp");
    const std::string file = writeFile("assembly.stp", ap242, [&] {
        EXPECT_EQ(writeRecords(writer, ov::test::readFile(stepData("ap242_assembly.records"))),
                  std::vector<bool>(58, true));
        EXPECT_TRUE(writer.endWritePart21());
    });
    ov::test::expectMatchesGolden("step/ap242_assembly.stp", file);
    EXPECT_TRUE(log.lines().empty());
#ifdef OV_OCCT_STEP_READER
    EXPECT_EQ(std::system(("\"" OV_OCCT_STEP_READER "\" \"" + path + "\" 58").c_str()), 0);
#else
    GTEST_SKIP() << "Open CASCADE was not found";
#endif
}

TEST_F(GoldenFileTest, FailedRecordLeavesTheFileUnfinished) {
    const std::string file = writeFile("failed.stp", schema, [&] {
        // The failure is sticky: the next record is refused without a word.
        EXPECT_EQ(writeRecords(writer, toyRecords + "#7 thing : target=#7\n#8 empty_one :\n"),
                  (std::vector<bool>{true, true, true, true, true, true, false, false}));
        EXPECT_FALSE(writer.endWritePart21());
    });
    ov::test::expectMatchesGolden("step/toy_failed_record.stp", file);
    EXPECT_EQ(log.texts(ovLogError),
              Strings{"Missing value for attribute 'label' while writing entity '[thing]'"});
}

TEST_F(GoldenFileTest, UnwrittenIdLeavesTheFileWithoutFooter) {
    const std::string file = writeFile("unwritten.stp", schema, [&] {
        EXPECT_EQ(writeRecords(writer, toyRecords), std::vector<bool>(6, true));
        writer.generateEntityId();
        EXPECT_FALSE(writer.endWritePart21());
    });
    ov::test::expectMatchesGolden("step/toy_unwritten_id.stp", file);
    EXPECT_EQ(log.texts(ovLogError), Strings{"Entities were not streamed"});
}

// Keeps the end of every write, to tell where the writer's tokens end.
class TokenRecorder : public ovIoDevice {
public:
    bool good() const override { return true; }
    int64_t write(const char* bytes, int64_t length) override {
        data.append(bytes, static_cast<size_t>(length));
        ends.push_back(static_cast<int64_t>(data.size()));
        return length;
    }
    int64_t read(char*, int64_t) override { return -1; }

    std::string data;
    std::vector<int64_t> ends;
};

TEST_F(GoldenFileTest, NothingIsWrittenPastTheFirstDeviceFailure) {
    // Answers how many of begin, the six records and end succeeded.
    const auto writeToyFile = [&](ovIoDevice& output) {
        Part21Writer fileWriter;
        std::vector<bool> results = {fileWriter.beginWritePart21("toy.stp", options, &schema, &output)};
        for (const bool written : writeRecords(fileWriter, toyRecords)) {
            results.push_back(written);
        }
        results.push_back(fileWriter.endWritePart21());
        EXPECT_EQ(std::find(results.begin(), results.end(), false) == results.end(),
                  !fileWriter.isWriteError());
        return std::find(results.begin(), results.end(), false) - results.begin();
    };
    TokenRecorder full;
    ASSERT_EQ(writeToyFile(full), 8);
    for (int64_t limit = 0; limit < full.ends.back(); ++limit) {
        SCOPED_TRACE("device limited to " + std::to_string(limit) + " bytes");
        log.clear();
        ovIoDeviceFaultInjector shortWrites(limit, ovIoDeviceFaultInjector::kNoLimit);
        EXPECT_LT(writeToyFile(shortWrites), 8);
        EXPECT_EQ(shortWrites.data(), full.data.substr(0, static_cast<size_t>(limit)));
        // Every token up to and including the first that does not fit.
        EXPECT_EQ(shortWrites.writeCalls(),
                  std::upper_bound(full.ends.begin(), full.ends.end(), limit) - full.ends.begin() + 1);
        const Strings expectedLog = limit < full.ends.front()      ? Strings{"Fail to write header"}
                                    : limit >= full.ends.end()[-2] ? Strings{"Fail to write footer"}
                                                                   : Strings{};
        EXPECT_EQ(log.texts(ovLogError), expectedLog);
    }
    // Goodness is only asked after the header and after the footer.
    log.clear();
    ovIoDeviceFaultInjector badInHeader(ovIoDeviceFaultInjector::kNoLimit, 10);
    EXPECT_EQ(writeToyFile(badInHeader), 0);
    EXPECT_EQ(badInHeader.writeCalls(), 1);
    ovIoDeviceFaultInjector badInRecords(ovIoDeviceFaultInjector::kNoLimit, full.ends.front() + 1);
    EXPECT_EQ(writeToyFile(badInRecords), 7);
    EXPECT_EQ(badInRecords.data(), full.data);
    EXPECT_EQ(log.texts(ovLogError), Strings(2, "Output devise is not good"));
}

}  // namespace
}  // namespace ov::step::test
