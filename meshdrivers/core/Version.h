#pragma once

#include "core/ovMeshDriversExport.h"

namespace ovMeshDrivers {

// Which build of the library the host has loaded. The same numbers stand in
// the library file's version resource.
struct OVMESHDRIVERS_API Version {
    Version() = default;
    Version(const Version&) = default;
    Version& operator=(const Version&);
    Version& operator=(Version&&) noexcept;

    static unsigned int GetMajor();
    static unsigned int GetMinor();
    static unsigned int GetRelease();
    static unsigned int GetRevision();
    static const char* GetCommitId();
    static unsigned short GetYear();
    static unsigned char GetMonth();
    // The flags select no variant of the texts; they are kept for callers
    // that pass them.
    static const char* GetDescStringMajorMinor(bool unused = false);
    static const char* GetDescStringMajorMinorRelease(bool unused = false);
    static const char* GetDescStringMajorMinorReleaseRevision(bool unused = false, bool withCommitId = false);
    static const char* GetDescStringMajorMinorReleaseRevisionDate();
    static bool IsDev();
    static bool IsBeta();
    static bool IsDebug();
};

}  // namespace ovMeshDrivers
