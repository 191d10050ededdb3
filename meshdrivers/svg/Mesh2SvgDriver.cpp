#include "svg/Mesh2SvgDriver.h"

#include <cstdint>
#include <string>

#include "core/DriverSupport.h"
#include "core/FloatText.h"
#include "core/LineDrawing.h"
#include "system/ovDataStream.h"

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

// Writes one group per line; its buffer is reused from line to line so that
// memory follows the longest line, not the drawing.
class LineGroupWriter {
public:
    LineGroupWriter(ovDataStream& stream, const ovVectorialMetadata& page, const char* newLine)
        : mStream(stream),
          mProjection(page),
          mPageHeight(static_cast<float>(page.pageHeight)),
          mWidthScale(page.widthScale),
          mNewLine(newLine) {}

    void operator()(const ovLine& line, const LineData& data) {
        mGroup.clear();
        appendGroupStart(line);
        appendPaths(line, data);
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
    // one (same vertex index), so a strip 0-1, 1-2, 2-3 is one path of four
    // points. The first path closes the group's start tag.
    void appendPaths(const ovLine& line, const LineData& data) {
        const int* indices = data.indices();
        int previousEnd = -1;
        for (int segment = 0; segment < data.segmentCount(); ++segment) {
            const int start = indices[2 * segment];
            const int end = indices[2 * segment + 1];
            if (start != previousEnd) {
                mGroup += segment == 0 ? "\">" : "\"/>";
                mGroup += mNewLine;
                mGroup += "  <path d=\"M";
                appendPoint(line, start);
            }
            mGroup += " L";
            appendPoint(line, end);
            previousEnd = end;
        }
        mGroup += "\"/>";
        mGroup += mNewLine;
        mGroup += "</g>";
        mGroup += mNewLine;
    }

    // The page's y grows downward.
    void appendPoint(const ovLine& line, int index) {
        const PagePoint point = mProjection.vertexOnPage(line, index);
        appendFloat(mGroup, point.u);
        mGroup += ',';
        appendFloat(mGroup, mPageHeight - point.v);
    }

    ovDataStream& mStream;
    PageProjection mProjection;
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

// Title and description are the host's texts, written as they are: the host
// is trusted to give text that needs no escaping.
std::string textElement(const char* name, const std::string& content, const char* newLine) {
    return std::string("<") + name + ">" + content + "</" + name + ">" + newLine;
}

}  // namespace

Mesh2SvgDriver::Mesh2SvgDriver() : ovCoreMeshDriver(true) {
    addSaveExtension("svg");
}

bool Mesh2SvgDriver::saveMeshes(const ovObjectList& objects, ovIoDevice& device, const std::string&,
                                ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    ovSpatial* root = singleSpatialRoot(objects);
    if (!root) {
        return false;
    }
    root->UpdateGS_Flags();
    const uint32_t segmentCount = countSegments(*root, progress, kDriverName);

    ovProgressNotifierGroupCloser closer;
    if (progress) {
        progress->beginStepGroup(2, segmentCount, closer);
    }
    ovDataStream stream(device, LittleEndian);
    stream.setEndianness(LittleEndian);
    const ovVectorialMetadata* page = findPage(*root);
    if (!page) {
        return false;
    }

    const char* newLine = newLineText(options.lineBreaks);
    writeText(stream, documentStart(*page, newLine));
    if (!page->title.empty()) {
        writeText(stream, textElement("title", page->title, newLine));
    }
    if (!page->description.empty()) {
        writeText(stream, textElement("desc", page->description, newLine));
    }
    if (progress && segmentCount != 0) {
        progress->beginStep(segmentCount, 1);
    }
    writeLines(*root, progress, kDriverName, LineGroupWriter(stream, *page, newLine));
    writeText(stream, std::string("</svg>") + newLine);
    reportShortWrite(kDriverName, "drawing", stream);
    return true;
}

bool Mesh2SvgDriver::saveMeshes(const ovObjectList& objects, const std::string& path,
                                ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    return saveToFileThroughDevice(*this, objects, path, progress, options);
}

}  // namespace ov
