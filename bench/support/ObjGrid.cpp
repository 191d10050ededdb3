#include "support/ObjGrid.h"

#include <charconv>
#include <cmath>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void appendCorner(std::string& text, long index) {
    const std::string number = std::to_string(index);
    text += ' ' + number + '/' + number + '/' + number;
}

}  // namespace

void appendNumbers(std::string& text, const char* keyword, std::initializer_list<double> values) {
    text += keyword;
    for (const double value : values) {
        char digits[32];
        const auto end =
            std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 6).ptr;
        text += ' ';
        text.append(digits, end);
    }
    text += '\n';
}

void writeGrid(const fs::path& path, int side) {
    std::ofstream file(path, std::ios::binary);
    std::string text;
    const int points = side + 1;
    for (int row = 0; row < points; ++row) {
        for (int column = 0; column < points; ++column) {
            const double x = column / double(side);
            const double y = row / double(side);
            const double slope = 0.05 * std::cos(8 * x);
            appendNumbers(text, "v", {x, y, 0.05 / 8 * std::sin(8 * x)});
            appendNumbers(text, "vt", {x, y});
            const double length = std::sqrt(1 + slope * slope);
            appendNumbers(text, "vn", {-slope / length, 0, 1 / length});
        }
        file << text;
        text.clear();
    }
    for (int row = 0; row < side; ++row) {
        for (int column = 0; column < side; ++column) {
            const long a = long(row) * points + column + 1;
            const long corners[2][3] = {{a, a + 1, a + points + 1}, {a, a + points + 1, a + points}};
            for (const auto& triangle : corners) {
                text += 'f';
                for (const long corner : triangle) {
                    appendCorner(text, corner);
                }
                text += '\n';
            }
        }
        file << text;
        text.clear();
    }
}
