#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
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
    // A name nobody holds yet: creating the folder fails when it exists.
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate = base / ("ovtest-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            mPath = candidate;
            return;
        }
    }
    ADD_FAILURE() << "cannot create a temporary folder in " << base;
}

TempDir::~TempDir() {
    if (!mPath.empty()) {
        std::error_code error;
        std::filesystem::remove_all(mPath, error);
    }
}

DecimalCommaLocale::DecimalCommaLocale() : mPreviousC(std::setlocale(LC_ALL, nullptr)) {
#if defined(_WIN32)
    // MinGW's C++ library knows the classic locale only; the C runtime's is what a host sets.
    std::setlocale(LC_ALL, "German_Germany.1252");
#else
    // The C++ global of a named locale sets the C one too.
    std::locale::global(std::locale("de_DE.UTF-8"));
#endif
    EXPECT_STREQ(std::localeconv()->decimal_point, ",") << "no decimal-comma locale could be set";
}

DecimalCommaLocale::~DecimalCommaLocale() {
    std::locale::global(mPreviousGlobal);
    std::setlocale(LC_ALL, mPreviousC.c_str());
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
