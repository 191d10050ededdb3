#pragma once

// A large OBJ model the benchmarks generate for themselves.

#include <filesystem>
#include <initializer_list>
#include <string>

// Appends "keyword v1 v2 ..." and a line feed, each value with six decimals.
void appendNumbers(std::string& text, const char* keyword, std::initializer_list<double> values);

// A gently waved square of side x side quads, two triangles each; every
// vertex has its own texture coordinate and normal, numbered alike.
void writeGrid(const std::filesystem::path& path, int side);
