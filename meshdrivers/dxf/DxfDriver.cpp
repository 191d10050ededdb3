#include "dxf/DxfDriver.h"

#include <string>

#include "core/DrawingSave.h"
#include "core/DriverSupport.h"
#include "core/FloatText.h"
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

// The entities of one line are written at once, from a buffer reused from
// line to line.
void writeLineEntities(ovDataStream& stream, const PageDrawing& drawing) {
    std::string entities;
    drawing.forEachDrawnLine([&](const ovLine&, size_t begin, size_t end) {
        entities.clear();
        for (size_t segment = begin; segment < end; ++segment) {
            appendLineEntity(entities, drawing.segment(segment).start, drawing.segment(segment).end);
        }
        writeText(stream, entities);
    });
}

}  // namespace

DxfDriver::DxfDriver() : ovCoreMeshDriver(true) {
    addSaveExtension("dxf");
}

ovSavedContent DxfDriver::savedContent(const SaveMeshOptions&) const {
    return ovSavedContent::Drawing;
}

bool DxfDriver::saveMeshes(const ovObjectList& objects, ovIoDevice& device, const std::string&,
                           ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    return saveDrawing(
        objects, device, progress, options, kDriverName, /*pageAfterWalk=*/false,
        [progress](ovDataStream& stream, const ovVectorialMetadata&, const PageDrawing& drawing) {
            writeText(stream, fileStart());
            if (progress) {
                progress->beginStep(drawing.segmentCount(), 1);
            }
            writeLineEntities(stream, drawing);
            writeText(stream, kFileEnd);
        });
}

bool DxfDriver::saveMeshes(const ovObjectList& objects, const std::string& path,
                           ovProgressNotifierInterface* progress, const SaveMeshOptions& options) {
    return saveToFileThroughDevice(*this, objects, path, progress, options);
}

}  // namespace ov
