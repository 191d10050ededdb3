// Saves, as COLLADA, a small scene built from the bytes (see
// SceneFromBytes.h) with an image file prefix of any bytes, the save's
// options, and a save that may be cancelled. Besides crashes and sanitizer reports it checks the
// driver's promises: a saved document is well-formed XML, the files a save
// leaves are the document and the images it reports, all in the document's
// folder, and a failed save leaves no file at all.
#include <expat.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "../SceneFromBytes.h"
#include "collada/ovColladaMeshDriver.h"

namespace {

using namespace ov;
using namespace ov::fuzz;

bool isWellFormed(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string document(std::istreambuf_iterator<char>(in), {});
    XML_Parser parser = XML_ParserCreate(nullptr);
    const bool parsed =
        XML_Parse(parser, document.data(), static_cast<int>(document.size()), true) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return parsed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Sandbox sandbox("collada_save");
    Bytes bytes{data, size};
    const ovPointer<ovNode> scene = makeScene(bytes);
    ColladaSaveSettings settings;
    settings.imageFilePrefix = bytes.text();
    CancelAt progress(bytes.next() % 4 == 0 ? bytes.next() % 16 : 0);
    // The save's settings: up axis, material channels, lines, colours, digits.
    const uint8_t choices = bytes.next();
    settings.upAxis = choices & 1 ? ColladaSaveSettings::UpAxis::Y : ColladaSaveSettings::UpAxis::Z;
    settings.transparency = (choices & 2) != 0;
    settings.phong = (choices & 4) != 0;
    settings.polylines = (choices & 8) != 0;
    settings.vertexColours = (choices & 16) != 0;
    settings.significantDigits = choices >> 5;
    SaveMeshOptions options;
    options.drivers.set(settings);
    std::vector<std::string> images;
    options.companionFiles = &images;
    const fs::path document = sandbox.out / "doc.dae";
    const bool saved = ovColladaMeshDriver().saveMeshes({scene}, document.string(), &progress, options);
    const bool wellFormed = !saved || isWellFormed(document);
    if (!holdsWhatWasReported(sandbox, document, saved, images) || !wellFormed) {
        std::abort();
    }
    return 0;
}
