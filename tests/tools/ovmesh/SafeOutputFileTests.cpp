#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ovmesh/SafeOutputFile.h"
#include "ovmesh/ToolError.h"
#include "support/TestSupport.h"

namespace ov::test {
namespace {

using ovmesh::SafeOutputFile;
using ovmesh::ToolError;
namespace fs = std::filesystem;

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

void append(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::app) << text;
}

TEST(SafeOutputFileTest, WritesBesideTheTargetUnderAHiddenNameWithItsExtension) {
    TempDir folder;
    const SafeOutputFile file(folder.file("part.stl"));
    const fs::path temporary = file.temporaryPath();
    EXPECT_EQ(temporary.parent_path(), folder.path());
    EXPECT_EQ(temporary.filename().string().rfind(".part.stl.tmp-", 0), 0u) << temporary;
    EXPECT_EQ(temporary.extension(), ".stl");
    EXPECT_TRUE(fs::exists(temporary));
    EXPECT_FALSE(fs::exists(folder.file("part.stl")));
}

TEST(SafeOutputFileTest, CommitPutsTheDataInPlaceOfTheTarget) {
    TempDir folder;
    writeFile(folder.path() / "part.stl", "old content");
    {
        SafeOutputFile file(folder.file("part.stl"));
        append(file.temporaryPath(), "new content");
        EXPECT_EQ(readFile(folder.path() / "part.stl"), "old content");
        file.commit();
    }
    EXPECT_EQ(readFile(folder.path() / "part.stl"), "new content");
    EXPECT_EQ(filesIn(folder.path()), std::vector<std::string>{"part.stl"});
}

TEST(SafeOutputFileTest, WithoutCommitNothingIsLeftAndTheTargetIsUntouched) {
    TempDir folder;
    writeFile(folder.path() / "kept.svg", "previous drawing");
    {
        SafeOutputFile file(folder.file("kept.svg"));
        append(file.temporaryPath(), "half a drawing");
        SafeOutputFile other(folder.file("new.svg"));
        EXPECT_NE(other.temporaryPath(), file.temporaryPath());
    }
    EXPECT_EQ(filesIn(folder.path()), std::vector<std::string>{"kept.svg"});
    EXPECT_EQ(readFile(folder.path() / "kept.svg"), "previous drawing");
}

TEST(SafeOutputFileTest, AFolderThatDoesNotExistIsRefusedClearly) {
    TempDir folder;
    try {
        SafeOutputFile file(folder.file("missing/part.stl"));
        FAIL() << "accepted a missing folder";
    } catch (const ToolError& error) {
        EXPECT_NE(std::string(error.what()).find("folder '" + folder.file("missing") + "' does not exist"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_TRUE(filesIn(folder.path()).empty());
}

TEST(SafeOutputFileTest, ATargetThatIsAFolderIsRefused) {
    TempDir folder;
    fs::create_directory(folder.path() / "out.stl");
    EXPECT_THROW(SafeOutputFile(folder.file("out.stl")), ToolError);
}

TEST(SafeOutputFileTest, AFolderThatCannotBeWrittenIsRefused) {
    TempDir folder;
    const fs::path locked = folder.path() / "locked";
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    if (std::ofstream((locked / "probe").string())) {
        fs::permissions(locked, fs::perms::owner_all);
        GTEST_SKIP() << "this user may write into read-only folders";
    }
    EXPECT_THROW(SafeOutputFile((locked / "part.stl").string()), ToolError);
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_TRUE(filesIn(locked).empty());
}

}  // namespace
}  // namespace ov::test
