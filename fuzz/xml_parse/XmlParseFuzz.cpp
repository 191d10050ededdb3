// Feeds arbitrary bytes to the SAX parser. Besides crashes and sanitizer
// reports, it checks what a successful parse promises: balanced elements
// between two document boundaries.
#include <cstdint>
#include <cstdlib>

#include "xml/ovXml.h"

namespace ov::xml {

// Lets the parse go on while the counts stay sane. Character data is wanted
// at odd depths only, so that the parser turns it on and off all along.
struct BalanceCounter : XmlSaxParserHandler {
    int boundaries = 0;
    int open = 0;
    bool documentBoundary() override { return ++boundaries <= 2; }
    int startElement(std::string_view, const XmlAttributes&) override {
        setWantsCharacters(++open % 2 == 1);
        return open > 0 ? Continue : Stop;
    }
    bool endElement(std::string_view) override {
        setWantsCharacters(--open % 2 == 1);
        return open >= 0;
    }
    bool characters(const char*, int) override { return true; }
    bool message(const std::string&, int) override { return true; }
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ovIoDeviceMemory device(std::string(reinterpret_cast<const char*>(data), size));
    BalanceCounter counter;
    if (ParseXmlStream(device, counter, nullptr) && (counter.boundaries != 2 || counter.open != 0)) {
        std::abort();
    }
    return 0;
}

}  // namespace ov::xml
