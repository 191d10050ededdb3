#include "xml/ovXml.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "system/ovIoDevice.h"
#include "system/ovProgressNotifier.h"

namespace ov::xml {
namespace {

using Events = std::vector<std::string>;

// Writes every event as one text; consecutive character data is joined, so
// that the record does not depend on how the parser splits text.
class RecordingHandler : public XmlSaxParserHandler {
public:
    Events events;
    std::vector<int> messageLevels;
    std::string stopAtStart;
    std::string stopAtEnd;
    std::string stopAtText;
    bool stopAtFirstBoundary = false;

    bool documentBoundary() override {
        events.push_back("boundary");
        return !stopAtFirstBoundary;
    }
    int startElement(const std::string& name, const XmlAttributes& attributes) override {
        std::string event = "start " + name;
        for (const auto& [attributeName, value] : attributes) {
            event += " " + attributeName + "=" + value;
        }
        events.push_back(event);
        return name == stopAtStart ? Stop : Continue;
    }
    bool endElement(const std::string& name) override {
        events.push_back("end " + name);
        return name != stopAtEnd;
    }
    bool characters(const char* data, int length) override {
        const std::string text(data, static_cast<size_t>(length));
        if (events.empty() || events.back().rfind("text ", 0) != 0) {
            events.push_back("text ");
        }
        events.back() += text;
        return stopAtText.empty() || events.back().find(stopAtText) == std::string::npos;
    }
    bool message(const std::string& text, int level) override {
        events.push_back("message " + text);
        messageLevels.push_back(level);
        return true;
    }
};

// Hands out one byte per read, so that every token crosses a chunk boundary.
class OneByteDevice : public ovIoDevice {
public:
    explicit OneByteDevice(std::string content) : mContent(std::move(content)) {}
    bool good() const override { return true; }
    int64_t write(const char*, int64_t) override { return 0; }
    int64_t read(char* data, int64_t length) override {
        if (length <= 0 || mPosition == mContent.size()) {
            return 0;
        }
        data[0] = mContent[mPosition++];
        ++reads;
        return 1;
    }
    int reads = 0;

private:
    std::string mContent;
    size_t mPosition = 0;
};

// Delivers its content, then fails.
class FailingDevice : public ovIoDevice {
public:
    explicit FailingDevice(std::string content) : mContent(std::move(content)) {}
    bool good() const override { return mContent.empty(); }
    int64_t write(const char*, int64_t) override { return 0; }
    int64_t read(char* data, int64_t length) override {
        if (mContent.empty()) {
            return -1;
        }
        const size_t count = std::min(mContent.size(), static_cast<size_t>(length));
        mContent.copy(data, count);
        mContent.erase(0, count);
        return static_cast<int64_t>(count);
    }

private:
    std::string mContent;
};

// Answers "cancelled" from its n-th question on.
class CancelAfter : public ovProgressNotifierInterface {
public:
    explicit CancelAfter(int questions) : mRemaining(questions) {}
    bool isCanceled() override { return mRemaining-- <= 0; }
    void beginStep(double, uint32_t) override {}
    void advanceStep(double) override {}

protected:
    void onStepGroupBegin(uint32_t, double) override {}
    void onStepGroupEnd() override {}

private:
    int mRemaining;
};

class XmlTest : public ::testing::Test {
protected:
    XmlTest() { initializeXmlLibrary(); }
    ~XmlTest() override { finalizeXmlLibrary(); }

    bool parse(const std::string& document, ovProgressNotifierInterface* cancel = nullptr) {
        ovIoDeviceMemory device(document);
        return ParseXmlStream(device, handler, cancel);
    }

    RecordingHandler handler;
};

TEST_F(XmlTest, EventsArriveInDocumentOrderWithAttributesAsWritten) {
    EXPECT_TRUE(
        parse("<?xml version=\"1.0\"?>\n<root z=\"1\" a=\"2\" m=\"&lt;3&gt;\"><child id=\"c\"/>tail</root>"));
    EXPECT_EQ(handler.events, (Events{"boundary", "start root z=1 a=2 m=<3>", "start child id=c", "end child",
                                      "text tail", "end root", "boundary"}));
    EXPECT_TRUE(handler.messageLevels.empty());
}

TEST_F(XmlTest, PrefixedNamesArePassedAsWritten) {
    EXPECT_TRUE(
        parse("<plm:PLMXML xmlns:plm=\"http://example.org/plm\" plm:schemaVersion=\"6\">"
              "<plm:Part/></plm:PLMXML>"));
    EXPECT_EQ(handler.events,
              (Events{"boundary", "start plm:PLMXML xmlns:plm=http://example.org/plm plm:schemaVersion=6",
                      "start plm:Part", "end plm:Part", "end plm:PLMXML", "boundary"}));
}

TEST_F(XmlTest, CharacterDataSurvivesOneByteReads) {
    const std::string document = "<a>caf\xc3\xa9 &amp; \xe2\x82\xac<![CDATA[<raw>]]>\n1 0 0</a>";
    OneByteDevice device(document);
    EXPECT_TRUE(ParseXmlStream(device, handler, nullptr));
    EXPECT_EQ(handler.events, (Events{"boundary", "start a", "text caf\xc3\xa9 & \xe2\x82\xac<raw>\n1 0 0",
                                      "end a", "boundary"}));
    EXPECT_EQ(device.reads, static_cast<int>(document.size()));
}

TEST_F(XmlTest, TextLongerThanOneChunkArrivesWhole) {
    const std::string text(200'000, 'x');
    EXPECT_TRUE(parse("<a>" + text + "</a>"));
    ASSERT_EQ(handler.events.size(), 5u);
    EXPECT_EQ(handler.events[2], "text " + text);
}

TEST_F(XmlTest, DeclaredEncodingIsConvertedToUtf8) {
    EXPECT_TRUE(parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a n=\"\xe9\">\xe9</a>"));
    EXPECT_EQ(handler.events,
              (Events{"boundary", "start a n=\xc3\xa9", "text \xc3\xa9", "end a", "boundary"}));
}

TEST_F(XmlTest, HandlerStopsTheParseFromEachCallback) {
    const std::string document = "<a><b>text</b><c/></a>";

    handler.stopAtStart = "b";
    EXPECT_FALSE(parse(document));
    EXPECT_EQ(handler.events, (Events{"boundary", "start a", "start b"}));

    handler = RecordingHandler();
    handler.stopAtEnd = "b";
    EXPECT_FALSE(parse(document));
    EXPECT_EQ(handler.events, (Events{"boundary", "start a", "start b", "text text", "end b"}));

    handler = RecordingHandler();
    handler.stopAtText = "text";
    EXPECT_FALSE(parse(document));
    EXPECT_EQ(handler.events, (Events{"boundary", "start a", "start b", "text text"}));

    handler = RecordingHandler();
    handler.stopAtStart = "c";
    EXPECT_FALSE(parse(document));
    EXPECT_EQ(handler.events.back(), "start c") << "no end event for the empty element after the stop";

    handler = RecordingHandler();
    handler.stopAtFirstBoundary = true;
    EXPECT_FALSE(parse(document));
    EXPECT_EQ(handler.events, (Events{"boundary"}));
}

TEST_F(XmlTest, HandlerExceptionReachesTheCaller) {
    class ThrowingHandler : public RecordingHandler {
        int startElement(const std::string&, const XmlAttributes&) override {
            throw std::runtime_error("boom");
        }
    } throwing;
    ovIoDeviceMemory device("<a><b/></a>");
    EXPECT_THROW(ParseXmlStream(device, throwing, nullptr), std::runtime_error);
}

TEST_F(XmlTest, CancellationIsAskedBetweenChunks) {
    CancelAfter cancelAtOnce(0);
    EXPECT_FALSE(parse("<a/>", &cancelAtOnce));
    EXPECT_EQ(handler.events, (Events{"boundary"}));

    handler = RecordingHandler();
    CancelAfter cancelAfterFourBytes(4);
    OneByteDevice device("<a><b/></a>");
    EXPECT_FALSE(ParseXmlStream(device, handler, &cancelAfterFourBytes));
    EXPECT_EQ(device.reads, 4);
    EXPECT_EQ(handler.events, (Events{"boundary", "start a"}));
    EXPECT_TRUE(handler.messageLevels.empty()) << "a cancellation is not a parse problem";
}

TEST_F(XmlTest, MalformedDocumentIsReportedWithItsPosition) {
    EXPECT_FALSE(parse("<a>\n  <b>\n  </a>"));
    ASSERT_EQ(handler.messageLevels, (std::vector<int>{Error}));
    EXPECT_EQ(handler.events.back(), "message line 3, column 5: mismatched tag");
    EXPECT_NE(handler.events.back(), "boundary");
}

TEST_F(XmlTest, ContentAfterTheDocumentElementIsMalformed) {
    EXPECT_FALSE(parse("<a/><b/>"));
    EXPECT_EQ(handler.events.back(), "message line 1, column 5: junk after document element");
}

TEST_F(XmlTest, EmptyInputIsMalformed) {
    EXPECT_FALSE(parse(""));
    EXPECT_EQ(handler.events, (Events{"boundary", "message line 1, column 1: no element found"}));
    EXPECT_EQ(handler.messageLevels, (std::vector<int>{Error}));
}

TEST_F(XmlTest, EntityDeclarationsAreRefused) {
    const std::string laughs =
        "<?xml version=\"1.0\"?>\n"
        "<!DOCTYPE lolz [\n"
        "  <!ENTITY lol \"lol\">\n"
        "  <!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n"
        "  <!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">\n"
        "]>\n"
        "<lolz>&lol3;</lolz>";
    EXPECT_FALSE(parse(laughs));
    ASSERT_EQ(handler.messageLevels, (std::vector<int>{Error}));
    ASSERT_EQ(handler.events.size(), 2u) << "nothing of the document reaches the handler";
    EXPECT_EQ(handler.events[1].rfind("message line 3, column ", 0), 0u) << handler.events[1];
    EXPECT_NE(handler.events[1].find(": entity declarations are not accepted (lol)"), std::string::npos);
}

TEST_F(XmlTest, ParameterEntityDeclarationsAreRefused) {
    EXPECT_FALSE(parse("<!DOCTYPE a [<!ENTITY % p \"x\">]><a/>"));
    ASSERT_EQ(handler.messageLevels, (std::vector<int>{Error}));
    EXPECT_NE(handler.events.back().find("entity declarations are not accepted (p)"), std::string::npos);
}

TEST_F(XmlTest, DoctypeWithoutEntitiesIsAccepted) {
    EXPECT_TRUE(parse("<!DOCTYPE a [<!ELEMENT a EMPTY>]><a/>"));
    EXPECT_EQ(handler.events, (Events{"boundary", "start a", "end a", "boundary"}));
}

TEST_F(XmlTest, ReadErrorIsReported) {
    FailingDevice device("<a><b>");
    EXPECT_FALSE(ParseXmlStream(device, handler, nullptr));
    EXPECT_EQ(handler.events,
              (Events{"boundary", "start a", "start b", "message line 1, column 7: read error"}));
    EXPECT_EQ(handler.messageLevels, (std::vector<int>{Error}));
}

TEST_F(XmlTest, NestedInitializationIsCounted) {
    initializeXmlLibrary();
    finalizeXmlLibrary();
    EXPECT_TRUE(parse("<a/>"));
}

}  // namespace
}  // namespace ov::xml
