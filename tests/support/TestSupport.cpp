#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

namespace ov::test {

LogCapture::LogCapture() {
    if (!ovLog::msInstance) {
        mOwnedLog = new ovLog;
        ovLog::msInstance = mOwnedLog;
    }
    mSinkId = ovLog::msInstance->addSink([this](const ovLogLine& line) { mLines.push_back(line); });
}

LogCapture::~LogCapture() {
    if (ovLog::msInstance) {
        ovLog::msInstance->removeSink(mSinkId);
    }
    if (mOwnedLog) {
        if (ovLog::msInstance == mOwnedLog) {
            ovLog::msInstance = nullptr;
        }
        delete mOwnedLog;
    }
}

std::vector<std::string> LogCapture::texts(ovLogType type) const {
    std::vector<std::string> result;
    for (const ovLogLine& line : mLines) {
        if (line.type == type) {
            result.push_back(line.text);
        }
    }
    return result;
}

FixedClock::FixedClock(ovClockReading reading) {
    ovSystemUtils::setClock([reading] { return reading; });
}

FixedClock::~FixedClock() {
    ovSystemUtils::setClock({});
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ovtest-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "cannot create a temporary folder like " << pattern;
        return;
    }
    mPath = pattern;
}

TempDir::~TempDir() {
    if (!mPath.empty()) {
        std::error_code error;
        std::filesystem::remove_all(mPath, error);
    }
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!stream) {
        ADD_FAILURE() << "cannot write " << path;
    }
}

void expectMatchesGolden(const std::string& relativePath, const std::string& content) {
    const std::filesystem::path golden = testDataDir() / relativePath;
    if (std::getenv("OV_UPDATE_GOLDEN") != nullptr) {
        writeFile(golden, content);
        return;
    }
    ASSERT_TRUE(std::filesystem::exists(golden)) << golden << " is missing (run with OV_UPDATE_GOLDEN=1)";
    EXPECT_TRUE(readFile(golden) == content) << "output differs from " << golden;
}

std::filesystem::path testDataDir() {
    return OV_TEST_DATA_DIR;
}
std::filesystem::path sharedDataDir() {
    return OV_SHARED_DATA_DIR;
}
std::filesystem::path resourcesDir() {
    return OV_RESOURCES_DIR;
}

}  // namespace ov::test
