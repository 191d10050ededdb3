#pragma once

// Marks what the Open CASCADE component exports; everything else stays hidden.
#if defined(_WIN32)
#if defined(OVMESHDRIVERSOCCT_BUILDING)
#define OVMESHDRIVERSOCCT_API __declspec(dllexport)
#else
#define OVMESHDRIVERSOCCT_API __declspec(dllimport)
#endif
#else
#define OVMESHDRIVERSOCCT_API __attribute__((visibility("default")))
#endif
