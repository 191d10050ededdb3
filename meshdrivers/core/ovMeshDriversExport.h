#pragma once

// Marks what the driver library exports; everything else stays hidden.
#if defined(_WIN32)
#if defined(OVMESHDRIVERS_BUILDING)
#define OVMESHDRIVERS_API __declspec(dllexport)
#else
#define OVMESHDRIVERS_API __declspec(dllimport)
#endif
#else
#define OVMESHDRIVERS_API __attribute__((visibility("default")))
#endif
