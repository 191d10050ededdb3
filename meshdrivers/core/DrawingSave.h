#pragma once

// How the drawing writers save through the line projection; the writers'
// own, not a host's (it reports through the drivers' shared helpers).

#include <string>

#include "core/DrawingPage.h"
#include "core/DriverSupport.h"
#include "core/LineDrawing.h"
#include "system/ovIoDevice.h"

namespace ov {

inline void writeText(ovDataStream& stream, const std::string& text) {
    stream.writeRawData(text.data(), static_cast<int64_t>(text.size()));
}

// How a drawing writer saves: the one root with its world transformations
// brought up to date, its segments gathered in one walk, the progress group
// of the two steps opened over them and the stream made; then
// writeFile(stream, page, drawing) writes the file and a short write is
// reported. False, with nothing written, without that one root or without a
// page (see drawingPage), which is looked for before the walk or
// (pageAfterWalk) only once the stream is made.
template <typename WriteFile>
bool saveDrawing(const ovObjectList& objects, ovIoDevice& device, ovProgressNotifierInterface* progress,
                 const SaveMeshOptions& options, const char* driverName, bool pageAfterWalk,
                 WriteFile&& writeFile) {
    ovSpatial* root = singleSpatialRoot(objects);
    if (!root) {
        return false;
    }
    root->UpdateGS_Flags();
    const ovVectorialMetadata* page = drawingPage(*root, options);
    if (!page && !pageAfterWalk) {
        return false;
    }
    const PageDrawing drawing(*root, page, progress, driverName);
    ovProgressNotifierGroupCloser closer;
    if (progress) {
        progress->beginStepGroup(2, drawing.segmentCount(), closer);
    }
    ovDataStream stream(device, LittleEndian);
    stream.setEndianness(LittleEndian);
    if (!page) {
        return false;
    }
    writeFile(stream, *page, drawing);
    reportShortWrite(driverName, "drawing", stream);
    return true;
}

}  // namespace ov
