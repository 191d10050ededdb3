#include "svg/Mesh2SvgDriver.h"

#include <cstdint>
#include <string>

#include "core/DrawingSave.h"
#include "core/DriverSupport.h"
#include "core/FloatText.h"
#include "system/ovDataStream.h"
#include "system/ovStringUtils.h"

namespace ov {

namespace {

constexpr char kDriverName[] = "Svg";

const char* newLineText(bool lineBreaks) {
    return lineBreaks ? "\n" : "";
}

// A colour component in 0..1 as 0..255. Nothing clamps: the product is
// truncated to a 64-bit integer whose low 32 bits are written, so a negative
// component wraps to a large number. A product without a 64-bit value (NaN,
// beyond +-2^63) gives 0, the low half of what the x86-64 conversion answers
// for it.
uint32_t colourComponent(float component) {
    const float scaled = component * 255.0f;
    constexpr float kTwoPower63 = 9223372036854775808.0f;
    if (!(scaled >= -kTwoPower63 && scaled < kTwoPower63)) {
        return 0;
    }
    return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(scaled)));
}

// Writes one group per line; its buffer is reused from line to line.
class LineGroupWriter {
public:
    LineGroupWriter(ovDataStream& stream, const PageDrawing& drawing, const ovVectorialMetadata& page,
                    const char* newLine)
        : mStream(stream),
          mDrawing(drawing),
          mPageHeight(static_cast<float>(page.pageHeight)),
          mWidthScale(page.widthScale),
          mNewLine(newLine) {}

    void operator()(const ovLine& line, size_t begin, size_t end) {
        mGroup.clear();
        appendGroupStart(line);
        appendPaths(begin, end);
        writeText(mStream, mGroup);
    }

private:
    void appendGroupStart(const ovLine& line) {
        const Wm4::ColorRGBA& colour = line.getColor();
        mGroup += "<g fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\" stroke=\"rgb(";
        appendInteger(mGroup, colourComponent(colour.R()));
        mGroup += ',';
        appendInteger(mGroup, colourComponent(colour.G()));
        mGroup += ',';
        appendInteger(mGroup, colourComponent(colour.B()));
        mGroup += ")\" stroke-width=\"";
        appendFloat(mGroup, line.getWidth() / mWidthScale);
    }

    // A new path starts only where a segment does not continue the previous
    // one, so a strip 0-1, 1-2, 2-3 is one path of four points. The first path
    // closes the group's start tag.
    void appendPaths(size_t begin, size_t end) {
        for (size_t segment = begin; segment < end; ++segment) {
            if (!mDrawing.continuesPath(segment)) {
                mGroup += segment == begin ? "\">" : "\"/>";
                mGroup += mNewLine;
                mGroup += "  <path d=\"M";
                appendPoint(mDrawing.segment(segment).start);
            }
            mGroup += " L";
            appendPoint(mDrawing.segment(segment).end);
        }
        mGroup += "\"/>";
        mGroup += mNewLine;
        mGroup += "</g>";
        mGroup += mNewLine;
    }

    // The page's y grows downward.
    void appendPoint(PagePoint point) {
        appendFloat(mGroup, point.u);
        mGroup += ',';
        appendFloat(mGroup, mPageHeight - point.v);
    }

    ovDataStream& mStream;
    const PageDrawing& mDrawing;
    float mPageHeight;
    float mWidthScale;
    const char* mNewLine;
    std::string mGroup;
};

std::string documentStart(const ovVectorialMetadata& page, const char* newLine) {
    std::string text = "<?xml version=\"1.0\"?>";
    text += newLine;
    text += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"";
    appendInteger(text, page.pageWidth);
    text += "mm\" height=\"";
    appendInteger(text, page.pageHeight);
    text += "mm\" viewBox=\"0 0 ";
    appendInteger(text, page.pageWidth);
    text += ' ';
    appendInteger(text, page.pageHeight);
    text += "\" >";
    text += newLine;
    return text;
}

// Title and description are the host's texts: written as they are when they
// already make well-formed XML (a host that escapes keeps its bytes), escaped
// otherwise, so that no text makes a drawing no parser reads.
std::string textElement(const char* name, const std::string& content, const char* newLine) {
    return std::string("<") + name + ">" + ovStringUtils::ToXmlCharacterData(content) + "</" + name + ">" +
           newLine;
}

}  // namespace

Mesh2SvgDriver::Mesh2SvgDriver() : ovCoreMeshDriver(true) {
    addSaveExtension("svg");
}

ovSavedContent Mesh2SvgDriver::savedContent(const SaveMeshOptions&) const {
    return ovSavedContent::Drawing;
}

bool Mesh2SvgDriver::saveMeshes(const ovObjectList& objects, ovIoDevice& device, const std::string&,
                                ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    const char* newLine = newLineText(options.lineBreaks);
    const auto writeFile = [&](ovDataStream& stream, const ovVectorialMetadata& page,
                               const PageDrawing& drawing) {
        writeText(stream, documentStart(page, newLine));
        if (!page.title.empty()) {
            writeText(stream, textElement("title", page.title, newLine));
        }
        if (!page.description.empty()) {
            writeText(stream, textElement("desc", page.description, newLine));
        }
        if (progress && drawing.segmentCount() != 0) {
            progress->beginStep(drawing.segmentCount(), 1);
        }
        drawing.forEachDrawnLine(LineGroupWriter(stream, drawing, page, newLine));
        writeText(stream, std::string("</svg>") + newLine);
    };
    // Unlike the DXF writer, this one opens the progress before it misses a
    // page: its hosts see the group even for a root without one.
    return saveDrawing(objects, device, progress, options, kDriverName, /*pageAfterWalk=*/true, writeFile);
}

bool Mesh2SvgDriver::saveMeshes(const ovObjectList& objects, const std::string& path,
                                ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    return saveToFileThroughDevice(*this, objects, path, progress, options);
}

}  // namespace ov
