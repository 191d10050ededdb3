#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"
#include "system/ovStringUtils.h"

namespace ov {
namespace {

struct PathCase {
    const char* path;
    const char* baseName;
    const char* baseNameWithExtension;
    const char* extension;
    const char* folder;
};

const PathCase kPathCases[] = {
    {"", "", "", "", ""},
    {"model.stp", "model", "model.stp", "stp", ""},
    {"dir/sub/model.STP", "model", "model.STP", "stp", "dir/sub"},
    {"C:\\dir\\model.dae", "model", "model.dae", "dae", "C:\\dir"},
    {"mixed\\dir/model.x", "model", "model.x", "x", "mixed\\dir"},
    {"archive.tar.gz", "archive.tar", "archive.tar.gz", "gz", ""},
    {"dir.d/README", "README", "README", "", "dir.d"},
    {"dir/.profile", ".profile", ".profile", "", "dir"},
    {"dir/.config.json", ".config", ".config.json", "json", "dir"},
    {"name.", "name", "name.", "", ""},
    {"dir/sub/", "", "", "", "dir/sub"},
    {"dir//file", "file", "file", "", "dir"},
    {"/file.txt", "file", "file.txt", "txt", "/"},
    {"\\\\server\\share\\f.txt", "f", "f.txt", "txt", "\\\\server\\share"},
};

TEST(DirUtils, PathPartsAreFoundWithEitherSeparator) {
    for (const PathCase& item : kPathCases) {
        SCOPED_TRACE(item.path);
        EXPECT_EQ(ovDirUtils::ExtractFileBaseName(item.path), item.baseName);
        EXPECT_EQ(ovDirUtils::ExtractFileBaseName(item.path, true), item.baseNameWithExtension);
        EXPECT_EQ(ovDirUtils::ExtractFileExtension(item.path, true, 0), item.extension);
        EXPECT_EQ(ovDirUtils::ExtractFolder(item.path), item.folder);
    }
}

TEST(DirUtils, ExtensionCaseAndMinimumLength) {
    EXPECT_EQ(ovDirUtils::ExtractFileExtension("a.PlmXml", false, 0), "PlmXml");
    EXPECT_EQ(ovDirUtils::ExtractFileExtension("a.PlmXml", true, 0), "plmxml");
    EXPECT_EQ(ovDirUtils::ExtractFileExtension("a.c", true, 2), "");
    EXPECT_EQ(ovDirUtils::ExtractFileExtension("a.cc", true, 2), "cc");
    EXPECT_EQ(ovDirUtils::ExtractFileExtension("a.", true, 1), "");
}

TEST(DirUtils, JoinPathNeverDoublesASeparator) {
    EXPECT_EQ(ovDirUtils::JoinPath("", "name"), "name");
    EXPECT_EQ(ovDirUtils::JoinPath("dir", "name"), "dir/name");
    EXPECT_EQ(ovDirUtils::JoinPath("dir/", "name"), "dir/name");
    EXPECT_EQ(ovDirUtils::JoinPath("dir\\", "name"), "dir\\name");
    EXPECT_EQ(ovDirUtils::JoinPath("dir", "/step/schema.exp"), "dir/step/schema.exp");
    EXPECT_EQ(ovDirUtils::JoinPath("/", "name"), "/name");
}

TEST(DirUtils, ExistAndRemoveFiles) {
    test::TempDir dir;
    const std::string file = dir.file("f\xC3\xA9.txt");
    const std::string folder = dir.path().string();
    test::writeFile(std::filesystem::path(std::u8string(file.begin(), file.end())), "x");

    EXPECT_TRUE(ovDirUtils::FileExistsUtf8(file));
    EXPECT_FALSE(ovDirUtils::FileExistsUtf8(folder));
    EXPECT_TRUE(ovDirUtils::FolderExistsUtf8(folder));
    EXPECT_FALSE(ovDirUtils::FolderExistsUtf8(file));
    EXPECT_FALSE(ovDirUtils::FileExistsUtf8(""));

    std::string reason;
    EXPECT_TRUE(ovDirUtils::RemoveFileUtf8(file, &reason));
    EXPECT_FALSE(ovDirUtils::FileExistsUtf8(file));
    EXPECT_FALSE(ovDirUtils::RemoveFileUtf8(file, &reason));
    EXPECT_FALSE(reason.empty());
    reason.clear();
    EXPECT_FALSE(ovDirUtils::RemoveFileUtf8(folder, &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_TRUE(ovDirUtils::FolderExistsUtf8(folder));
    EXPECT_FALSE(ovDirUtils::RemoveFileUtf8(file, nullptr));
}

}  // namespace
}  // namespace ov
