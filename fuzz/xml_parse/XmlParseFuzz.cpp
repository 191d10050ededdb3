// Feeds arbitrary bytes to the SAX parser. Besides crashes and sanitizer
// reports, it checks what a successful parse promises: balanced elements
// between two document boundaries.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "system/ovIoDevice.h"
#include "xml/ovXml.h"

namespace {

class AcceptingHandler : public ov::xml::XmlSaxParserHandler {
public:
    int boundaries = 0;
    int depth = 0;

    bool documentBoundary() override {
        ++boundaries;
        return true;
    }
    int startElement(const std::string&, const ov::xml::XmlAttributes&) override {
        ++depth;
        return ov::xml::Continue;
    }
    bool endElement(const std::string&) override {
        --depth;
        return true;
    }
    bool characters(const char*, int length) override { return length > 0; }
    bool message(const std::string&, int) override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ov::ovIoDeviceMemory device(std::string(reinterpret_cast<const char*>(data), size));
    AcceptingHandler handler;
    const bool wellFormed = ov::xml::ParseXmlStream(device, handler, nullptr);
    if (wellFormed && (handler.boundaries != 2 || handler.depth != 0)) {
        std::abort();
    }
    return 0;
}
