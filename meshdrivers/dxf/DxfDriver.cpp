#include "dxf/DxfDriver.h"

#include <string>

#include "core/DriverSupport.h"
#include "core/FloatText.h"
#include "core/LineDrawing.h"
#include "system/ovDataStream.h"
#include "system/ovSystemUtils.h"

namespace ov {

namespace {

constexpr char kDriverName[] = "Dxf";
constexpr char kFileEnd[] = "0\nENDSEC\n0\nEOF\n";

std::string fileStart() {
    return "0\nCOMMENT\n1\nExporter : " + GetSoftwareVersionForStream().toString() +
           "\n0\nCOMMENT\n1\nDatetime : " + ovSystemUtils::GetCurrentDateTimeISO(true) +
           "\n0\nSECTION\n2\nENTITIES\n";
}

// The drawing is flat: every z is the same fixed text.
void appendLineEntity(std::string& text, PagePoint start, PagePoint end) {
    text += "0\nLINE\n8\n0\n10\n";
    appendFloat(text, start.u);
    text += "\n20\n";
    appendFloat(text, start.v);
    text += "\n30\n0.0\n11\n";
    appendFloat(text, end.u);
    text += "\n21\n";
    appendFloat(text, end.v);
    text += "\n31\n0.0\n";
}

// Writes the entities of one line at a time; its buffer is reused from line
// to line so that memory follows the longest line, not the drawing.
class LineEntityWriter {
public:
    LineEntityWriter(ovDataStream& stream, const ovVectorialMetadata& page)
        : mStream(stream), mProjection(page) {}

    void operator()(const ovLine& line, const LineData& data) {
        const int* indices = data.indices();
        mEntities.clear();
        for (int segment = 0; segment < data.segmentCount(); ++segment) {
            appendLineEntity(mEntities, mProjection.vertexOnPage(line, indices[2 * segment]),
                             mProjection.vertexOnPage(line, indices[2 * segment + 1]));
        }
        writeText(mStream, mEntities);
    }

private:
    ovDataStream& mStream;
    PageProjection mProjection;
    std::string mEntities;
};

}  // namespace

DxfDriver::DxfDriver() : ovCoreMeshDriver(true) {
    addSaveExtension("dxf");
}

bool DxfDriver::saveMeshes(const ovObjectList& objects, ovIoDevice& device, const std::string&,
                           ovProgressNotifierInterface* progress, const SaveMeshOptions&) {
    ovSpatial* root = singleSpatialRoot(objects);
    if (!root) {
        return false;
    }
    root->UpdateGS_Flags();
    const ovVectorialMetadata* page = findPage(*root);
    if (!page) {
        return false;
    }
    const uint32_t segmentCount = countSegments(*root, progress, kDriverName);

    ovProgressNotifierGroupCloser closer;
    if (progress) {
        progress->beginStepGroup(2, segmentCount, closer);
    }
    ovDataStream stream(device, LittleEndian);
    stream.setEndianness(LittleEndian);
    writeText(stream, fileStart());
    if (progress) {
        progress->beginStep(segmentCount, 1);
    }
    writeLines(*root, progress, kDriverName, LineEntityWriter(stream, *page));
    writeText(stream, kFileEnd);
    reportShortWrite(kDriverName, "drawing", stream);
    return true;
}

bool DxfDriver::saveMeshes(const ovObjectList& objects, const std::string& path,
                           ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    return saveToFileThroughDevice(*this, objects, path, progress, options);
}

}  // namespace ov
