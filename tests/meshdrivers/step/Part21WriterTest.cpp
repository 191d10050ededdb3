#include <functional>
#include <list>

#include "StepTestSupport.h"

namespace ov::step::test {
namespace {

TEST_F(ToyFileTest, HeaderLines) {
    EXPECT_TRUE(writer.endWritePart21());
    EXPECT_EQ(
        device.data(),
        "ISO-10303-21;\r\nHEADER;\r\nFILE_DESCRIPTION(('No description'), '2;1');\r\n"
        "FILE_NAME('toy.stp','2026-06-15T12:34:56',('tester'),(''),'Part21 Writer','ovmesh-test 1.0','');\r\n"
        "FILE_SCHEMA(('AUTOMOTIVE_DESIGN','AP242_MANAGED_MODEL_BASED_3D_ENGINEERING_MIM_LF',"
        "'AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 }'));\r\nENDSEC;\r\n\r\nDATA;\r\n"
        "ENDSEC;\r\nEND-ISO-10303-21;\r\n");

    ov::test::FixedClock otherClock({1796418900000, 0});  // 2026-12-04T21:15:00Z
    SetSoftwareVersionForStream({"1.0", ""});
    ASSERT_TRUE(writer.beginWritePart21(
        "it's \xC3\xA9.stp", SaveMeshOptions{"ignored.stp", "a'b", false, false}, &schema, &device));
    EXPECT_NE(
        device.data().find("\r\nFILE_NAME('it''s \\X2\\00E9\\X0\\.stp','2026-12-04T21:15:00',('ab'),(''),"
                           "'Part21 Writer','1.0','');\r\n"),
        std::string::npos);
    // A name that is not UTF-8 keeps what converted.
    ASSERT_TRUE(writer.beginWritePart21("ab\xFF.stp", options, &schema, &device));
    EXPECT_NE(device.data().find("FILE_NAME('ab','"), std::string::npos);
    EXPECT_EQ(log.texts(ovLogError), Strings{"Utf8ToPart21Encoding, exception Invalid UTF-8"});
}

class ForeignUserData : public ovVariant::UserDataInterface {
public:
    ForeignUserData* createCopy() const override { return new ForeignUserData(); }
    bool isEqualTo(const ovVariant::UserDataInterface&) const override { return false; }
};

TEST_F(ToyFileTest, MisuseFailsWithItsLogLineAndStaysFailed) {
    using Id = Part21WriterUserData;
    const auto writeId = [&](const Id& id) {
        writer.generateEntityId();
        return writer.writeEntity("empty_one", {}, id);
    };
    const auto writeNames = [&](std::initializer_list<std::string> names) {
        return writer.writeEntity(names, {}, writer.generateEntityId());
    };
    ovVariantMapImpl map;
    map["k"] = ovVariant(1);
    struct Misuse {
        std::function<bool()> act;  // answers the failing call's result
        std::string records;
        std::string error;  // the one line logged, if any
    };
    const Misuse cases[] = {
        {[&] { return writeId(Id()); }, "", "Invalid entity id 0"},
        {[&] { return writeId(Id(std::string("X"))); }, "", "Invalid entity id 0"},
        {[&] { return writeId(Id(Id::DotIdentifier)); }, "", "Invalid entity id 0"},
        {[&] { return writeId(Id(uint64_t{0})); }, "", "Invalid entity id 0"},
        {[&] { return writeId(Id(uint64_t{2})); }, "", "Invalid entity id 2"},
        {[&] { return writeId(Id(uint64_t{1})) && writeId(Id(uint64_t{1})); }, "#1=EMPTY_ONE();\r\n",
         "Entity 1 was already streamed"},
        {[&] {
             return writer.generateEntityId().getRef() == 1 && writeId(Id(uint64_t{2})) &&
                    writer.endWritePart21();
         },
         "#2=EMPTY_ONE();\r\n", "Entities were not streamed"},
        {[&] { return writer.generateEntityId().getRef() == 1 && writeHolder(ref(3)); }, "#2=HOLDER(",
         "Invalid ref 3 in value"},
        {[&] { return writeHolder(ref(0)); }, "#1=HOLDER(", "Invalid ref 0 in value"},
        {[&] { return writeHolder(ovVariant(new ForeignUserData())); }, "#1=HOLDER(", "Invalid user data"},
        {[&] { return writeHolder(ovVariant("ab\xFF")); }, "#1=HOLDER('",
         "Utf8ToPart21Encoding, exception Invalid UTF-8"},
        {[&] {
             return writer.writeEntity({"right_part", "left_part"}, map, writer.generateEntityId());
         },
         "#1=(BASE(*,$)LEFT_PART(",
         "Missing value for attribute 'l' while writing entity '[right_part, left_part]'"},
        {[&] { return writer.beginWritePart21("a.stp", options, nullptr, &device); }, "",
         "Missing output device or schema"},
        {[&] { return writer.beginWritePart21("a.stp", options, &schema, nullptr); }, "",
         "Missing output device or schema"},
        // Names the schema does not resolve, and kinds without exchange form, fail without a word.
        {[&] { return writeNames({"no_such_entity"}); }, "", ""},
        {[&] { return writeNames({"HOLDER"}); }, "", ""},
        {[&] {
             return writeNames({"holder", "holder"});
         },
         "", ""},
        {[&] {
             return writeNames({"holder", "missing"});
         },
         "", ""},
        {[&] { return writeHolder(ovVariant()); }, "#1=HOLDER(", ""},
        {[&] { return writeHolder(ovVariant(map)); }, "#1=HOLDER(", ""},
        {[&] { return writeHolder(ovVariant(ovDateTime{1000})); }, "#1=HOLDER(", ""},
        {[&] { return writeHolder(Id().toVariant()); }, "#1=HOLDER(", ""},
    };
    for (size_t index = 0; index < std::size(cases); ++index) {
        SCOPED_TRACE("case " + std::to_string(index));
        startFile();
        log.clear();
        EXPECT_FALSE(cases[index].act());
        EXPECT_EQ(records(), cases[index].records);
        EXPECT_EQ(log.texts(ovLogError),
                  cases[index].error.empty() ? Strings{} : Strings{cases[index].error});
        EXPECT_TRUE(writer.isWriteError());
        // Nothing more is written or logged.
        const std::string written = device.data();
        log.clear();
        EXPECT_FALSE(writer.writeEntity("empty_one", {}, writer.generateEntityId()));
        EXPECT_FALSE(writer.endWritePart21());
        EXPECT_EQ(device.data(), written);
        EXPECT_TRUE(log.lines().empty());
    }
    // A new file starts afresh, its ids from 1.
    startFile();
    EXPECT_EQ(writer.generateEntityId().getRef(), 1u);
    EXPECT_TRUE(writer.writeEntity("empty_one", {}, Part21WriterUserData(uint64_t{1})));
    EXPECT_TRUE(writer.endWritePart21());
}

}  // namespace
}  // namespace ov::step::test
