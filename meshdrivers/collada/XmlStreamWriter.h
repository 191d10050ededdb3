#pragma once

#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ov {

// Writes an XML document to a file while it is produced, one element at a
// time, without building a tree. Whether an element is written self-closing,
// with its text on one line, or as a start tag followed by children is
// decided only when the next element opens or the element closes.
//
// The file stream belongs to the owner, who opens it; the writer closes it as
// soon as a write leaves it failed (from then on nothing more is written and
// isOk answers false) and when the writer is destroyed.
//
// Lines are indented with one tab per level of depth, up to a fixed depth
// (see XmlStreamWriter.cpp) beyond which the indentation stays the same.
//
// Attribute values and texts are written as text that XML 1.0 can hold: each
// character it cannot hold (control characters other than tab, line feed and
// carriage return; U+FFFE, U+FFFF) and each byte that is not part of a UTF-8
// sequence becomes U+FFFD and is counted. Apart from that and the escapes
// below, every byte stays as given.
class XmlStreamWriter {
public:
    explicit XmlStreamWriter(std::ofstream& file) : mFile(file) {}
    // Closes every element still open, then the file.
    ~XmlStreamWriter();
    XmlStreamWriter(const XmlStreamWriter&) = delete;
    XmlStreamWriter& operator=(const XmlStreamWriter&) = delete;

    void startElement(std::string_view name);
    // Only before anything else is given to the element opened last. The
    // value is escaped; the name is used as it is.
    void addAttribute(std::string_view name, std::string_view value);
    // Character data of the element opened last; at most once per element,
    // and no child follows it. Only what would end the text's well-formedness
    // is escaped: "&", "<", and the ">" of "]]>".
    void addText(std::string_view text);
    // The same bytes as one addText of all the pieces joined, but each piece
    // goes to the file at once, so that a long text is never held whole.
    // Empty pieces are ignored: an element that receives none stays empty.
    void addTextPiece(std::string_view piece);
    void endElement();

    // How many characters were written as U+FFFD.
    size_t replacedCharacters() const { return mReplacedCharacters; }

    // True while the file is open and the stream is good.
    bool isOk() const;
    bool hasOpenElements() const { return !mElements.empty(); }
    // Bytes that go to the file as they are, outside any element (the XML
    // declaration), under the same failure rule as every other write.
    void writeRaw(std::string_view bytes);
    // Pushes buffered bytes to the file; a failure closes it.
    void flush();
    // Closes the file as it stands, leaving open elements unwritten.
    void closeFile();

private:
    struct OpenElement {
        std::string name;
        bool startTagWritten = false;
    };
    // Opening ends in a line feed unless text is pending; BeforeText never does.
    enum class TagForm { Opening, BeforeText, SelfClosing };

    void appendIndentation(size_t depth);
    void appendLineFeed();
    void flushStartTag(TagForm form);
    void writeLineBuffer();
    void writeToFile(std::string_view bytes);
    void resetPending();
    // text with what XML cannot hold replaced (and counted).
    std::string xmlCharacters(std::string_view text);
    // text as character data of the innermost element: text itself when it
    // needs no change, otherwise escaped, which receives it.
    std::string_view characterData(std::string_view text, std::string& escaped);

    std::ofstream& mFile;
    std::vector<OpenElement> mElements;
    std::vector<std::pair<std::string, std::string>> mPendingAttributes;
    std::string mPendingText;
    std::string mLineBuffer;
    bool mAfterEnd = false;
    // The innermost element's text went to the file piece by piece: its end
    // tag follows the text directly.
    bool mTextStreamed = false;
    // The "]" that end the innermost element's character data so far.
    size_t mClosingBrackets = 0;
    size_t mReplacedCharacters = 0;
};

}  // namespace ov
