#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ov::assimpimport {

// How much of a file's start requireCountsFit looks at: headers longer than
// this are refused where their counts matter.
constexpr size_t kDeclaredCountsHead = size_t{1} << 16;

// assimp allocates for the counts a header declares (PLY elements, OFF
// vertices and faces, binary STL triangles) before it reads the data, and
// goes on through data that is not there: a file of a few hundred bytes
// could take gigabytes and minutes. ReadError naming source when the header
// declares more than the file's size can hold, each element counted at its
// fewest bytes, or when the counts cannot be read. data is the file's start
// (its first kDeclaredCountsHead bytes at least), or all of it; size the
// whole file's; extension picks the format (lower case, without the dot).
// Given all of an OFF file, its vertex and face lines are checked too: a
// face assimp would drop or change, or a line that would overrun its
// reader, is refused; given all of a text PLY file, a list longer than its
// line, or a value that is not a number. So is, in any format, text that
// starts with a UTF-16 or UTF-32 byte order mark.
void requireCountsFit(std::string_view data, uint64_t size, const std::string& extension,
                      const std::string& source);

// The same for the file at path.
void requireFileCountsFit(const std::string& path, const std::string& extension);

}  // namespace ov::assimpimport
