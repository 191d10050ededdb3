#pragma once

// Marks what the assimp component exports; everything else stays hidden.
#if defined(_WIN32)
#if defined(OVMESHDRIVERSASSIMP_BUILDING)
#define OVMESHDRIVERSASSIMP_API __declspec(dllexport)
#else
#define OVMESHDRIVERSASSIMP_API __declspec(dllimport)
#endif
#else
#define OVMESHDRIVERSASSIMP_API __attribute__((visibility("default")))
#endif
