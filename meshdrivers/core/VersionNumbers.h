#pragma once

// The build's version numbers and texts, shared by the Version operations and
// the library file's version resource (which the resource compiler reads, so
// this header holds nothing but macros).

#define OVMESHDRIVERS_VERSION_MAJOR 3
#define OVMESHDRIVERS_VERSION_MINOR 0
#define OVMESHDRIVERS_VERSION_RELEASE 0
#define OVMESHDRIVERS_VERSION_REVISION 1559
#define OVMESHDRIVERS_VERSION_YEAR 2026
#define OVMESHDRIVERS_VERSION_MONTH 6
#define OVMESHDRIVERS_COMMIT_ID "3a56870edff467bd"

#define OVMESHDRIVERS_TEXT_MAJOR_MINOR "3.0"
#define OVMESHDRIVERS_TEXT_MAJOR_MINOR_RELEASE "3.0.0"
#define OVMESHDRIVERS_TEXT_FULL "3.0.0.1559"
#define OVMESHDRIVERS_TEXT_FULL_COMMIT OVMESHDRIVERS_TEXT_FULL " #" OVMESHDRIVERS_COMMIT_ID
#define OVMESHDRIVERS_TEXT_FULL_COMMIT_DATE OVMESHDRIVERS_TEXT_FULL_COMMIT " 2026-6"
// One whole literal: the resource compiler does not join adjacent ones.
#define OVMESHDRIVERS_TEXT_RESOURCE "3, 0, 0, 1559 #3a56870edff467bd"
