#include "core/Version.h"

#include "core/VersionNumbers.h"

namespace ovMeshDrivers {

Version& Version::operator=(const Version&) {
    return *this;
}

Version& Version::operator=(Version&&) noexcept {
    return *this;
}

unsigned int Version::GetMajor() {
    return OVMESHDRIVERS_VERSION_MAJOR;
}

unsigned int Version::GetMinor() {
    return OVMESHDRIVERS_VERSION_MINOR;
}

unsigned int Version::GetRelease() {
    return OVMESHDRIVERS_VERSION_RELEASE;
}

unsigned int Version::GetRevision() {
    return OVMESHDRIVERS_VERSION_REVISION;
}

const char* Version::GetCommitId() {
    return OVMESHDRIVERS_COMMIT_ID;
}

unsigned short Version::GetYear() {
    return OVMESHDRIVERS_VERSION_YEAR;
}

unsigned char Version::GetMonth() {
    return OVMESHDRIVERS_VERSION_MONTH;
}

const char* Version::GetDescStringMajorMinor(bool) {
    return OVMESHDRIVERS_TEXT_MAJOR_MINOR;
}

const char* Version::GetDescStringMajorMinorRelease(bool) {
    return OVMESHDRIVERS_TEXT_MAJOR_MINOR_RELEASE;
}

const char* Version::GetDescStringMajorMinorReleaseRevision(bool, bool withCommitId) {
    return withCommitId ? OVMESHDRIVERS_TEXT_FULL_COMMIT : OVMESHDRIVERS_TEXT_FULL;
}

const char* Version::GetDescStringMajorMinorReleaseRevisionDate() {
    return OVMESHDRIVERS_TEXT_FULL_COMMIT_DATE;
}

bool Version::IsDev() {
    return false;
}

bool Version::IsBeta() {
    return false;
}

bool Version::IsDebug() {
    return false;
}

}  // namespace ovMeshDrivers
