#include "collada/XmlStreamWriter.h"

#include <algorithm>
#include <iterator>

#include "collada/ColladaSupport.h"
#include "system/ovStringUtils.h"

namespace ov {
namespace {

// Elements deeper than this are indented as this deep, so that a line costs
// at most 31 bytes of indentation and a scene thousands of levels deep makes
// a file in proportion to its nodes, not to the square of its depth. A
// document puts its deepest fixed element at depth 8 and its scene's nodes
// from depth 3, so scenes up to 29 levels deep, which is every assembly we
// have met, are written exactly as before.
constexpr size_t kDeepestIndentedDepth = 32;

// Whether every byte stands for itself in character data and in attribute
// values: the common case, let through without a look at the characters. No
// early exit, so that the compiler can test many bytes at once: the writer
// passes every byte of every number array through here.
bool isPlain(std::string_view text) {
    bool refused = false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        refused |=
            (byte < 0x20 && c != '\t' && c != '\n') | (byte >= 0x80) | (c == '&') | (c == '<') | (c == '>');
    }
    return !refused;
}

}  // namespace

XmlStreamWriter::~XmlStreamWriter() {
    while (hasOpenElements()) {
        endElement();
    }
    closeFile();
}

bool XmlStreamWriter::isOk() const {
    return mFile.is_open() && mFile.good();
}

void XmlStreamWriter::startElement(std::string_view name) {
    if (isOk()) {
        mLineBuffer.clear();
        flushStartTag(TagForm::Opening);
        if (!mLineBuffer.empty()) {
            writeLineBuffer();
        }
    }
    resetPending();
    mAfterEnd = false;
    mElements.push_back({std::string(name), false});
}

void XmlStreamWriter::addAttribute(std::string_view name, std::string_view value) {
    mPendingAttributes.emplace_back(std::string(name), ovStringUtils::EscapeXmlString(xmlCharacters(value)));
}

void XmlStreamWriter::addText(std::string_view text) {
    mAfterEnd = true;
    std::string escaped;
    mPendingText.append(characterData(text, escaped));
}

void XmlStreamWriter::addTextPiece(std::string_view piece) {
    if (piece.empty()) {
        return;
    }
    mAfterEnd = true;
    if (!isOk() || !hasOpenElements()) {
        return;
    }
    if (!mElements.back().startTagWritten) {
        mLineBuffer.clear();
        flushStartTag(TagForm::BeforeText);
        writeLineBuffer();
    }
    mTextStreamed = true;
    std::string escaped;
    writeToFile(characterData(piece, escaped));
}

void XmlStreamWriter::endElement() {
    if (mAfterEnd) {
        if (isOk() && hasOpenElements()) {
            mLineBuffer.clear();
            flushStartTag(TagForm::Opening);
            if (mLineBuffer.empty() && !mTextStreamed) {
                appendIndentation(mElements.size());
            }
            mLineBuffer += "</";
            mLineBuffer += mElements.back().name;
            mLineBuffer += '>';
            appendLineFeed();
            writeLineBuffer();
        } else if (!isOk()) {
            mElements.clear();
        }
    } else if (isOk()) {
        mLineBuffer.clear();
        flushStartTag(TagForm::SelfClosing);
        writeLineBuffer();
    }
    resetPending();
    mAfterEnd = true;
    if (hasOpenElements()) {
        mElements.pop_back();
    }
}

void XmlStreamWriter::writeRaw(std::string_view bytes) {
    if (isOk()) {
        writeToFile(bytes);
    }
}

void XmlStreamWriter::flush() {
    if (isOk()) {
        mFile.flush();
        if (!mFile.good()) {
            closeFile();
        }
    }
}

void XmlStreamWriter::closeFile() {
    if (mFile.is_open()) {
        // A close that cannot write the last buffered bytes leaves the stream failed.
        const bool good = mFile.good();
        mFile.close();
        if (!good) {
            mFile.setstate(std::ios::badbit);
        }
    }
}

void XmlStreamWriter::appendIndentation(size_t depth) {
    if (depth > 1) {
        mLineBuffer.append(std::min(depth, kDeepestIndentedDepth) - 1, '\t');
    }
}

void XmlStreamWriter::appendLineFeed() {
    mLineBuffer += '\n';
}

void XmlStreamWriter::flushStartTag(TagForm form) {
    if (!hasOpenElements() || mElements.back().startTagWritten) {
        return;
    }
    OpenElement& element = mElements.back();
    element.startTagWritten = true;
    mLineBuffer.clear();
    appendIndentation(mElements.size());
    mLineBuffer += '<';
    mLineBuffer += element.name;
    for (const auto& [name, value] : mPendingAttributes) {
        mLineBuffer += ' ';
        mLineBuffer += name;
        mLineBuffer += "=\"";
        mLineBuffer += value;
        mLineBuffer += '"';
    }
    if (form == TagForm::SelfClosing) {
        mLineBuffer += "/>";
        appendLineFeed();
    } else if (form == TagForm::BeforeText || !mPendingText.empty()) {
        mLineBuffer += '>';
        mLineBuffer += mPendingText;
    } else {
        mLineBuffer += '>';
        appendLineFeed();
    }
}

void XmlStreamWriter::writeLineBuffer() {
    writeToFile(mLineBuffer);
}

void XmlStreamWriter::writeToFile(std::string_view bytes) {
    mFile.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!mFile.good()) {
        closeFile();
    }
}

void XmlStreamWriter::resetPending() {
    mPendingAttributes.clear();
    mPendingText.clear();
    mTextStreamed = false;
    mClosingBrackets = 0;
}

std::string XmlStreamWriter::xmlCharacters(std::string_view text) {
    return isPlain(text) ? std::string(text) : ovStringUtils::ToXmlCharacters(text, &mReplacedCharacters);
}

std::string_view XmlStreamWriter::characterData(std::string_view text, std::string& escaped) {
    if (isPlain(text)) {
        const size_t lastOther = text.find_last_not_of(']');
        mClosingBrackets = lastOther == std::string_view::npos ? mClosingBrackets + text.size()
                                                               : text.size() - lastOther - 1;
        return text;
    }
    for (const char c : xmlCharacters(text)) {
        if (c == '&') {
            escaped += "&amp;";
        } else if (c == '<') {
            escaped += "&lt;";
        } else if (c == '>' && mClosingBrackets >= 2) {
            escaped += "&gt;";
        } else {
            escaped += c;
        }
        mClosingBrackets = c == ']' ? mClosingBrackets + 1 : 0;
    }
    return escaped;
}

}  // namespace ov
