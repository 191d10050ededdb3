#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>

#include "core/Version.h"
#include "core/ovVectorialMetadata.h"
#include "scenegraph/ovSpatial.h"

namespace ov {
namespace {

using ovMeshDrivers::Version;

TEST(VersionTest, NumbersOfThisBuild) {
    EXPECT_EQ(Version::GetMajor(), 3u);
    EXPECT_EQ(Version::GetMinor(), 0u);
    EXPECT_EQ(Version::GetRelease(), 0u);
    EXPECT_EQ(Version::GetRevision(), 1559u);
    EXPECT_STREQ(Version::GetCommitId(), "3a56870edff467bd");
    EXPECT_EQ(Version::GetYear(), 2026);
    EXPECT_EQ(Version::GetMonth(), 6);
    EXPECT_FALSE(Version::IsDev());
    EXPECT_FALSE(Version::IsBeta());
    EXPECT_FALSE(Version::IsDebug());
}

TEST(VersionTest, DescriptionTextsIgnoreTheirFirstFlag) {
    for (bool flag : {false, true}) {
        EXPECT_STREQ(Version::GetDescStringMajorMinor(flag), "3.0");
        EXPECT_STREQ(Version::GetDescStringMajorMinorRelease(flag), "3.0.0");
        EXPECT_STREQ(Version::GetDescStringMajorMinorReleaseRevision(flag, false), "3.0.0.1559");
        EXPECT_STREQ(Version::GetDescStringMajorMinorReleaseRevision(flag, true),
                     "3.0.0.1559 #3a56870edff467bd");
    }
    // The month is not padded.
    EXPECT_STREQ(Version::GetDescStringMajorMinorReleaseRevisionDate(),
                 "3.0.0.1559 #3a56870edff467bd 2026-6");
}

TEST(VersionTest, TextsAreStaticAndAssignmentIsHarmless) {
    EXPECT_EQ(Version::GetDescStringMajorMinor(), Version::GetDescStringMajorMinor(true));
    Version a;
    const Version b;
    a = b;
    a = Version{};
    EXPECT_STREQ(Version::GetDescStringMajorMinorRelease(), "3.0.0");
}

TEST(VectorialMetadataTest, DefaultPageIsA4PortraitWithoutProjection) {
    const ovVectorialMetadata page;
    EXPECT_EQ(page.getMetadataTypeId(), 11);
    EXPECT_EQ(ovVectorialMetadata::MetadataTypeId, 11);
    EXPECT_TRUE(page.title.empty());
    EXPECT_TRUE(page.description.empty());
    EXPECT_EQ(page.pageWidth, 210);
    EXPECT_EQ(page.pageHeight, 297);
    for (float value : page.projection) {
        EXPECT_EQ(value, 0.0f);
    }
    for (float value : page.pageMatrix) {
        EXPECT_EQ(value, 0.0f);
    }
    EXPECT_EQ(std::bit_cast<uint32_t>(page.widthScale), 0x3F972E5Du);
}

TEST(VectorialMetadataTest, HasNoNameOfItsOwn) {
    ovVectorialMetadata page;
    EXPECT_EQ(&page.GetName(), &ovRttiInterface::sEmptyString);
    page.SetName("Sheet 1");
    EXPECT_TRUE(page.GetName().empty());
    EXPECT_EQ(&page.GetName(), &ovRttiInterface::sEmptyString);
}

TEST(VectorialMetadataTest, IsFoundOnASpatialByItsTypeId) {
    ovPointer<ovNode> root(new ovNode);
    auto* page = new ovVectorialMetadata;
    root->setMetadata(page);
    EXPECT_EQ(root->findMetadata(ovVectorialMetadata::MetadataTypeId), page);
    EXPECT_TRUE(page->IsDerived(ovMetadataInterface::TYPE));
    EXPECT_TRUE(page->IsExactly(ovVectorialMetadata::TYPE));
    EXPECT_EQ(page->GetObjectByID(page->GetID()), page);
}

}  // namespace
}  // namespace ov
