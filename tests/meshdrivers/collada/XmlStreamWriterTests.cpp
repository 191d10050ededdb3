#include <gtest/gtest.h>

#include <functional>

#include "collada/XmlStreamWriter.h"
#include "support/TestSupport.h"

namespace ov::test {
namespace {

// Runs steps on a writer over a fresh file and gives back the file's bytes
// once the writer is gone.
std::string written(const std::function<void(XmlStreamWriter&)>& steps) {
    const TempDir dir;
    const std::string path = dir.file("out.xml");
    {
        std::ofstream file(path, std::ios::binary);
        XmlStreamWriter writer(file);
        steps(writer);
    }
    return readFile(path);
}

// Elements, attributes and their escapes are seen in the driver's golden documents.
TEST(XmlStreamWriterTest, TextPiecesAndTheirEscapes) {
    const struct {
        const char* what;
        std::function<void(XmlStreamWriter&)> steps;
        std::string bytes;
    } cases[] = {
        {"text on the line of its tags, pieces giving the bytes of the whole text, escaped only where XML "
         "must: \"&\", \"<\" and the \">\" of \"]]>\", also across pieces",
         [](XmlStreamWriter& w) {
             w.startElement("A");
             w.startElement("C");
             w.addAttribute("k", "v");
             for (const char* piece : {"1 & ", "", "2 < 3 > ]", "]", ">]>"}) {
                 w.addTextPiece(piece);
             }
             w.endElement();
             w.startElement("D");
             w.addTextPiece("");
             w.endElement();
             w.startElement("E");
             w.addText("]]]> \"'");
             w.endElement();
             w.endElement();
         },
         "<A>\n\t<C k=\"v\">1 &amp; 2 &lt; 3 > ]]&gt;]></C>\n\t<D/>\n\t<E>]]]&gt; \"'</E>\n</A>\n"},
        {"characters XML cannot hold and bytes that are not UTF-8 become U+FFFD; the others stay",
         [](XmlStreamWriter& w) {
             w.startElement("A");
             w.addAttribute("k", "\v\t\xC3\xA9\xEF\xBF\xBE&");
             w.addText("\x01\r\n\xC3(\xED\xA0\x80\xF0\x9F\x98\x80");
             w.endElement();
             EXPECT_EQ(w.replacedCharacters(), 7u);
         },
         "<A "
         "k=\"\xEF\xBF\xBD\t\xC3\xA9\xEF\xBF\xBD&amp;\">\xEF\xBF\xBD\r\n\xEF\xBF\xBD("
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
         "\xF0\x9F\x98\x80</A>\n"},
    };
    for (const auto& [what, steps, bytes] : cases) {
        EXPECT_EQ(written(steps), bytes) << what;
    }
}

}  // namespace
}  // namespace ov::test
