#include <memory>

#include <gtest/gtest.h>

#include "step/Part21WriterUserData.h"

namespace ov::step {
namespace {

class OtherUserData : public ovVariant::UserDataInterface {
public:
    OtherUserData* createCopy() const override { return new OtherUserData(); }
    bool isEqualTo(const ovVariant::UserDataInterface&) const override { return true; }
};

TEST(Part21WriterUserData, ConstructorsSetTypeAndFields) {
    const Part21WriterUserData undefined;
    EXPECT_EQ(undefined.getType(), Part21WriterUserData::Undefined);
    EXPECT_EQ(undefined.getRef(), 0u);
    EXPECT_TRUE(undefined.getEnumValue().empty());

    const Part21WriterUserData reference(uint64_t{42});
    EXPECT_EQ(reference.getType(), Part21WriterUserData::Ref);
    EXPECT_EQ(reference.getRef(), 42u);
    EXPECT_TRUE(reference.getEnumValue().empty());

    const Part21WriterUserData literal(std::string("UNSPECIFIED"));
    EXPECT_EQ(literal.getType(), Part21WriterUserData::EnumValue);
    EXPECT_EQ(literal.getRef(), 0u);
    EXPECT_EQ(literal.getEnumValue(), "UNSPECIFIED");

    const Part21WriterUserData identifier(Part21WriterUserData::DotIdentifier);
    EXPECT_EQ(identifier.getType(), Part21WriterUserData::DotIdentifier);
}

TEST(Part21WriterUserData, EqualityComparesAllFields) {
    EXPECT_EQ(Part21WriterUserData(uint64_t{3}), Part21WriterUserData(uint64_t{3}));
    EXPECT_NE(Part21WriterUserData(uint64_t{3}), Part21WriterUserData(uint64_t{4}));
    EXPECT_NE(Part21WriterUserData(std::string("A")), Part21WriterUserData(std::string("B")));
    EXPECT_NE(Part21WriterUserData(Part21WriterUserData::Ref),
              Part21WriterUserData(Part21WriterUserData::Undefined));
    // A reference to 0 and an undefined value differ by their type only.
    EXPECT_NE(Part21WriterUserData(uint64_t{0}), Part21WriterUserData());
}

TEST(Part21WriterUserData, CopiesAreIndependentAndEqual) {
    Part21WriterUserData original(std::string("MILLI"));
    Part21WriterUserData assigned;
    assigned = original;
    const Part21WriterUserData constructed(original);
    const std::unique_ptr<Part21WriterUserData> heapCopy(original.createCopy());

    original = Part21WriterUserData(uint64_t{9});
    const Part21WriterUserData* const copies[] = {&assigned, &constructed, heapCopy.get()};
    for (const Part21WriterUserData* copy : copies) {
        EXPECT_EQ(copy->getType(), Part21WriterUserData::EnumValue);
        EXPECT_EQ(copy->getEnumValue(), "MILLI");
    }
}

TEST(Part21WriterUserData, IsEqualToRefusesOtherClasses) {
    const Part21WriterUserData reference(uint64_t{5});
    EXPECT_TRUE(reference.isEqualTo(Part21WriterUserData(uint64_t{5})));
    EXPECT_FALSE(reference.isEqualTo(Part21WriterUserData(uint64_t{6})));
    EXPECT_FALSE(reference.isEqualTo(OtherUserData()));
}

TEST(Part21WriterUserData, VariantsOwnAndCompareTheirCopies) {
    const ovVariant first = Part21WriterUserData(uint64_t{7}).toVariant();
    const ovVariant copied = first;
    ASSERT_EQ(first.getType(), ovVariant::UserData);
    EXPECT_EQ(first, copied);
    EXPECT_NE(first.getUserData(), copied.getUserData());
    EXPECT_NE(first, Part21WriterUserData(uint64_t{8}).toVariant());

    const auto* held = dynamic_cast<const Part21WriterUserData*>(copied.getUserData());
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->getRef(), 7u);
}

}  // namespace
}  // namespace ov::step
