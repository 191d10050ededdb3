#include "collada/XmlStreamWriter.h"

#include "system/ovStringUtils.h"

namespace ov {

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
    mPendingAttributes.emplace_back(std::string(name), ovStringUtils::EscapeXmlString(value));
}

void XmlStreamWriter::addText(std::string_view text) {
    mAfterEnd = true;
    mPendingText.append(text);
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
    writeToFile(piece);
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
    if (mPretty && depth > 1) {
        mLineBuffer.append(depth - 1, '\t');
    }
}

void XmlStreamWriter::appendLineFeed() {
    if (mPretty) {
        mLineBuffer += '\n';
    }
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
}

}  // namespace ov
