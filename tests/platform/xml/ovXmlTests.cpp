#include "xml/ovXml.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "support/RecordingProgress.h"

namespace ov::xml {
namespace {

using Events = std::vector<std::string>;

// Records every event as one text, consecutive character data joined so that
// the record does not depend on how the parser splits text. Stops the parse
// at the event equal to stopAt; an element named boom throws.
struct Recorder : XmlSaxParserHandler {
    Events events;
    std::string stopAt;
    std::string textOnlyIn;

    // From now on, character data is wanted only inside elements of this name.
    void readTextOnlyIn(const std::string& name) {
        textOnlyIn = name;
        setWantsCharacters(false);
    }

    bool record(const std::string& event) {
        if (event == "start boom") {
            throw std::runtime_error(event);
        }
        events.push_back(event);
        return event != stopAt;
    }
    bool documentBoundary() override { return record("boundary"); }
    int startElement(std::string_view name, const XmlAttributes& attributes) override {
        std::string event = "start " + std::string(name);
        for (const auto& [attribute, value] : attributes) {
            event += ' ' + std::string(attribute) + '=' + std::string(value);
        }
        if (name == textOnlyIn) {
            setWantsCharacters(true);
        }
        return record(event) ? Continue : Stop;
    }
    bool endElement(std::string_view name) override {
        if (name == textOnlyIn) {
            setWantsCharacters(false);
        }
        return record("end " + std::string(name));
    }
    bool characters(const char* data, int length) override {
        if (!events.back().starts_with("text ")) {
            events.push_back("text ");
        }
        events.back().append(data, static_cast<size_t>(length));
        return events.back() != stopAt;
    }
    bool message(const std::string& what, int level) override {
        return record(level == Error ? "error " + what : what);
    }
};

// Hands out one byte per read, so that every token crosses a chunk boundary.
struct OneByteDevice : ovIoDeviceMemory {
    using ovIoDeviceMemory::ovIoDeviceMemory;
    int64_t read(char* data, int64_t) override { return ovIoDeviceMemory::read(data, 1); }
};

struct XmlTest : ::testing::Test {
    XmlTest() { initializeXmlLibrary(); }
    ~XmlTest() override { finalizeXmlLibrary(); }

    // A parse succeeds exactly when it reaches the closing boundary. It is
    // cancelled from the cancelFrom-th question on (0: never).
    Events parse(ovIoDevice&& device, int cancelFrom = 0) {
        test::RecordingProgress progress(cancelFrom);
        const bool parsed = ParseXmlStream(device, recorder, &progress);
        EXPECT_EQ(parsed, recorder.events.size() > 1 && recorder.events.back() == "boundary");
        return std::exchange(recorder.events, {});
    }
    // The events of a parse, the same whether the device gives all or one byte per read.
    Events parseWholeAndByteByByte(const std::string& document) {
        const Events whole = parse(ovIoDeviceMemory(document));
        EXPECT_EQ(parse(OneByteDevice(document)), whole) << document;
        return whole;
    }
    Recorder recorder;
};

// Attributes come in written order with references resolved, names as written
// (prefix included), texts in UTF-8 whatever the declared encoding. Problems
// are reported with their position; a document that declares entities is
// refused before any of it reaches the handler, so that none can expand
// itself beyond its size. Reading byte by byte changes nothing.
TEST_F(XmlTest, EventsDoNotDependOnChunkBoundaries) {
    for (const auto& [document, expected] : std::vector<std::pair<std::string, Events>>{
             {"<?xml version='1.0' encoding='ISO-8859-1'?><p:r xmlns:p='u' a='&lt;\xe9&gt;'><p:c/>t</p:r>",
              {"boundary", "start p:r xmlns:p=u a=<\xc3\xa9>", "start p:c", "end p:c", "text t", "end p:r",
               "boundary"}},
             {"<!DOCTYPE a [<!ELEMENT a ANY>]><a>caf\xc3\xa9 &amp; \xe2\x82\xac<![CDATA[<raw>]]>\n1 0 0</a>",
              {"boundary", "start a", "text caf\xc3\xa9 & \xe2\x82\xac<raw>\n1 0 0", "end a", "boundary"}},
             {"", {"boundary", "error line 1, column 1: no element found"}},
             {"<a>\n</b>", {"boundary", "start a", "text \n", "error line 2, column 3: mismatched tag"}},
             {"<!DOCTYPE l [\n<!ENTITY lol 'lol'>\n<!ENTITY lol2 '&lol;&lol;&lol;'>]><l>&lol2;</l>",
              {"boundary", "error line 2, column 14: entity declarations are not accepted (lol)"}},
             {"<!DOCTYPE a [\n<!ENTITY % p 'x'>]><a/>",
              {"boundary", "error line 2, column 14: entity declarations are not accepted (p)"}}}) {
        EXPECT_EQ(parseWholeAndByteByByte(document), expected) << document;
    }
}

// A handler that wants the text of some elements only gets no other.
TEST_F(XmlTest, CharacterDataReachesOnlyAHandlerThatWantsIt) {
    recorder.readTextOnlyIn("t");
    EXPECT_EQ(parseWholeAndByteByByte("<a>x<t>in<b/>mid</t>out<t>2</t></a>"),
              (Events{"boundary", "start a", "start t", "text in", "start b", "end b", "text mid", "end t",
                      "start t", "text 2", "end t", "end a", "boundary"}));
}

// The handler stops the parse from any callback (a throw reaches the caller);
// cancellation is asked between chunks.
TEST_F(XmlTest, ParseEndsEarlyWhenStoppedCancelledOrUnableToRead) {
    Events expected;
    for (const char* event : {"boundary", "start a", "start b", "text text", "end b", "start c"}) {
        expected.push_back(recorder.stopAt = event);
        EXPECT_EQ(parse(ovIoDeviceMemory("<a><b>text</b><c/></a>")), expected) << event;
    }
    EXPECT_EQ(parse(ovIoDeviceMemory("<a/>"), 1), (Events{"boundary"}));
    EXPECT_EQ(parse(OneByteDevice("<a><b/></a>"), 5), (Events{"boundary", "start a"}));
    EXPECT_EQ(parse(ovIoDeviceFaultInjector(0, 0)),
              (Events{"boundary", "error line 1, column 1: read error"}));
    EXPECT_THROW(parse(ovIoDeviceMemory("<a><boom/></a>")), std::runtime_error);
}

// Gives at most maxRead bytes per read (a pipe, a socket). As cancel
// interface it is asked once before each call of the parser, and adds up the
// bytes handed out so far: expat scans an unfinished token again from its
// start on every call, so that sum, with the whole document for the last
// call, bounds the parser's work.
struct MeteredDevice : ovIoDeviceMemory, test::RecordingProgress {
    MeteredDevice(std::string content, int64_t readSize)
        : ovIoDeviceMemory(std::move(content)), maxRead(readSize) {}
    int64_t read(char* data, int64_t length) override {
        const int64_t got = ovIoDeviceMemory::read(data, std::min(length, maxRead));
        handedOut += std::max<int64_t>(got, 0);
        return got;
    }
    bool isCanceled() override {
        workBound += handedOut;
        return false;
    }
    int64_t maxRead, handedOut = 0, workBound = 0;
};

// A document that is one long token (an attribute value, a comment, a
// processing instruction) is parsed in time linear in its length, whatever
// the device's reads.
TEST_F(XmlTest, OneLongTokenCostsLinearTime) {
    const std::string filler(1 << 20, 'x');
    for (const std::string& document :
         {"<a v='" + filler + "'/>", "<!--" + filler + "--><a/>", "<a><?p " + filler + "?></a>"}) {
        for (int64_t maxRead : {int64_t{1} << 30, int64_t{4096}}) {
            MeteredDevice device(document, maxRead);
            EXPECT_TRUE(ParseXmlStream(device, recorder, &device));
            EXPECT_LE(device.workBound + device.handedOut, 4 * static_cast<int64_t>(document.size()))
                << document.substr(0, 8) << " " << maxRead;
        }
    }
}

}  // namespace
}  // namespace ov::xml
