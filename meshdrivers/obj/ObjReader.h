#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "obj/ObjModel.h"

namespace ov::obj {

// Reads OBJ text in pieces of any size, each line once, under one set of
// rules: every number of a "v", "vt" or "vn" is a finite decimal number,
// every index of an "f", "l" or "p" is a whole number that names an existing
// element (counting back from the last one when negative), faces have at
// least 3 corners and lines at least 2. Faces of more than 3 corners are cut
// into triangles that cover their area. Statements that carry no geometry
// the driver uses are skipped, with one warning per kind. ReadError
// "source:line: reason" at the first fault, and "source: ..." for a text
// without faces or lines.
class ObjReader {
public:
    explicit ObjReader(std::string source);
    ~ObjReader();
    ObjReader(const ObjReader&) = delete;
    ObjReader& operator=(const ObjReader&) = delete;

    // UTF-8 text; a line may run on into the next piece.
    void read(std::string_view text);
    // Ends the text and answers the model.
    ObjModel finish();

private:
    class Lines;
    std::unique_ptr<Lines> mLines;
};

}  // namespace ov::obj
