#pragma once

// Readers of the elements that both PLM XML readers meet: user values,
// transforms and lists of ids.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "plmxml/PlmXmlAttributes.h"
#include "scenegraph/ovCoreMeshDriver.h"
#include "scenegraph/ovSpatial.h"
#include "xml/ovXml.h"

namespace ov::plmxml {

// Pieces between single spaces; empty pieces are dropped, other white space
// stays inside its piece. Pieces may be views into text.
template <typename Piece>
void splitAtSpaces(std::string_view text, std::vector<Piece>& pieces) {
    pieces.clear();
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            pieces.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
}

// What both readers do with the parser's events besides elements: collect
// the text of an element (a Transform), hand the parser's messages to the
// driver, and end the load.
class PlmXmlHandler : public xml::XmlSaxParserHandler {
public:
    explicit PlmXmlHandler(ovCoreMeshDriver& driver);
    bool documentBoundary() override { return !mAborted; }
    bool characters(const char* data, int length) override;
    // Every message is handed to the driver; an error (anything but a warning)
    // also ends the load, because the document read so far is incomplete.
    bool message(const std::string& text, int level) override;
    bool isAborted() const { return mAborted; }

protected:
    // The text of the element that starts is collected until endText.
    void startText();
    const std::string& endText();
    // Ends the load: the message goes to the driver and every later callback stops.
    void abort(const std::string& reason);

    ovCoreMeshDriver& mDriver;
    bool mAborted = false;

private:
    bool mCollectingText = false;
    std::string mText;
};

bool isDocumentElement(std::string_view name);

// The value of the attribute "id", empty when there is none.
std::string_view idOf(const xml::XmlAttributes& attributes);

// Puts the document element's attributes, but for namespace declarations,
// into list; answers its schema version (empty when there is none).
std::string readDocumentElement(const xml::XmlAttributes& attributes, PlmXmlAttributeNames& names,
                                PlmXmlAttributeList& list, PlmXmlTextStore& texts);

// A UserValue's title and value into list: the value is text, or a boolean
// when its type says so and it reads as one. What does not fit is logged.
void readUserValue(const xml::XmlAttributes& attributes, PlmXmlAttributeNames& names,
                   PlmXmlAttributeList& list, PlmXmlTextStore& texts);

// The sixteen numbers of a Transform, each a double that is finite in single
// precision.
using TransformNumbers = std::array<double, 16>;

// Reads text as sixteen numbers apart by spaces or line breaks (exports wrap
// long transforms); false when it is not.
bool readTransformNumbers(std::string_view text, TransformNumbers& numbers);
// Why text is no transform: "Unexpected Transform value " when it does not
// hold sixteen pieces, else "Fail to parse Transform value ", then the text.
std::string transformFailure(std::string_view text);

// The rotation's rows are (c0, c4, c8), (c1, c5, c9), (c2, c6, c10) and the
// translation is (c12, c13, c14): the file's matrix maps row vectors.
// Lengths are metres; the placement is set in millimetres. A rotation whose
// determinant is not about 1 (a mirror, a scale) leaves the rotation as it
// is, and the answer is false.
bool setPlacement(ovTransformation& transform, const TransformNumbers& numbers);

}  // namespace ov::plmxml
