#include "xml/ovXml.h"

#include <expat.h>

#include <algorithm>
#include <cctype>
#include <exception>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string_view>

#include "system/ovLibInitCounter.h"
#include "system/ovStringUtils.h"

namespace ov::xml {

namespace {

constexpr int64_t kChunkSize = 64 * 1024;
// expat counts its buffer in int, the unparsed bytes and the next chunk
// together: a token of more than about 1 GB ends the parse as out of memory.
constexpr int64_t kMaxChunkSize = std::numeric_limits<int>::max() / 2;

LibInitCounter& initCounter() {
    static LibInitCounter counter("xml", true);
    return counter;
}

// Code points of the bytes 0x80 to 0xBF where Windows-1252 and ISO-8859-15
// differ from ISO-8859-1 (0 where they agree). The five bytes Windows-1252
// leaves undefined keep their ISO-8859-1 (C1 control) meaning, as browsers
// read them.
constexpr int kWindows1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
constexpr int kIso885915Changes[][2] = {{0xA4, 0x20AC}, {0xA6, 0x0160}, {0xA8, 0x0161}, {0xB4, 0x017D},
                                        {0xB8, 0x017E}, {0xBC, 0x0152}, {0xBD, 0x0153}, {0xBE, 0x0178}};

bool isNamed(const XML_Char* name, std::initializer_list<std::string_view> names) {
    const std::string lower = ovStringUtils::lowered(name);
    return std::find(names.begin(), names.end(), lower) != names.end();
}

// expat reads UTF-8, UTF-16, ISO-8859-1 and ASCII itself; documents that
// Windows programs write often declare Windows-1252 or ISO-8859-15, which
// are single bytes too: each byte is given its code point.
int onUnknownEncoding(void*, const XML_Char* name, XML_Encoding* info) {
    const bool windows = isNamed(name, {"windows-1252", "cp1252"});
    if (!windows && !isNamed(name, {"iso-8859-15", "iso8859-15", "latin-9", "latin9"})) {
        return XML_STATUS_ERROR;
    }
    for (int byte = 0; byte < 256; ++byte) {
        info->map[byte] = byte;
    }
    if (windows) {
        for (int index = 0; index < 32; ++index) {
            info->map[0x80 + index] = kWindows1252High[index] != 0 ? kWindows1252High[index] : 0x80 + index;
        }
    } else {
        for (const auto& [byte, codePoint] : kIso885915Changes) {
            info->map[byte] = codePoint;
        }
    }
    info->data = nullptr;
    info->convert = nullptr;
    info->release = nullptr;
    return XML_STATUS_OK;
}

struct ParserDeleter {
    void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};
using ParserPtr = std::unique_ptr<XML_ParserStruct, ParserDeleter>;

// State of one parse, reached from expat's callbacks through the user data.
// A handler that throws stops the parser; the exception is carried past
// expat's C frames and rethrown once XML_Parse has returned.
class ParseSession {
public:
    ParseSession(XML_Parser parser, XmlSaxParserHandler& handler) : mParser(parser), mHandler(handler) {
        XML_SetUserData(parser, this);
        XML_SetElementHandler(parser, &ParseSession::onStartElement, &ParseSession::onEndElement);
        XML_SetEntityDeclHandler(parser, &ParseSession::onEntityDeclaration);
        XML_SetUnknownEncodingHandler(parser, &onUnknownEncoding, nullptr);
        followCharacterWish();
    }

    bool parse(ovIoDevice& device, ovProgressNotifierInterface* cancel);

private:
    // Feeds the next chunk of the device; false when the parse ended early.
    bool parseChunk(ovIoDevice& device, bool& finished);
    void reportParserError();
    void reportProblem(const std::string& what);
    void stop() { XML_StopParser(mParser, XML_FALSE); }
    void followCharacterWish();
    template <typename Call>
    void guarded(Call&& call);

    static void onStartElement(void* userData, const XML_Char* name, const XML_Char** attributes);
    static void onEndElement(void* userData, const XML_Char* name);
    static void onCharacters(void* userData, const XML_Char* data, int length);
    static void onEntityDeclaration(void* userData, const XML_Char* entityName, int isParameterEntity,
                                    const XML_Char* value, int valueLength, const XML_Char* base,
                                    const XML_Char* systemId, const XML_Char* publicId,
                                    const XML_Char* notationName);

    XML_Parser mParser;
    XmlSaxParserHandler& mHandler;
    // Set when the parse was ended on purpose (handler answer, refused
    // entity), so that expat's "aborted" status is not reported as malformed.
    bool mStoppedOnPurpose = false;
    std::exception_ptr mHandlerException;
    bool mCharactersHandled = false;
    // Bytes handed to expat so far.
    int64_t mBytesFed = 0;
    // Reused by every element, so that its room is allocated once.
    XmlAttributes mAttributes;
};

bool ParseSession::parse(ovIoDevice& device, ovProgressNotifierInterface* cancel) {
    if (!mHandler.documentBoundary()) {
        return false;
    }
    bool finished = false;
    while (!finished) {
        if (cancel && cancel->isCanceled()) {
            return false;
        }
        if (!parseChunk(device, finished)) {
            if (mHandlerException) {
                std::rethrow_exception(mHandlerException);
            }
            return false;
        }
    }
    return mHandler.documentBoundary();
}

bool ParseSession::parseChunk(ovIoDevice& device, bool& finished) {
    // expat scans a token it could not finish again from its start on the next
    // call: one long token (a large attribute value, a comment) fed in chunks
    // of a fixed size would cost time quadratic in its length. Each call is
    // therefore handed at least as many new bytes as are still unparsed, so
    // that its work stays within twice its new bytes; asking for twice as
    // many halves the scans again, for a buffer of three times the token.
    const int64_t parsed = std::clamp<int64_t>(XML_GetCurrentByteIndex(mParser), 0, mBytesFed);
    const int64_t unparsed = mBytesFed - parsed;
    const int wanted = static_cast<int>(std::clamp<int64_t>(2 * unparsed, kChunkSize, kMaxChunkSize));
    char* const buffer = static_cast<char*>(XML_GetBuffer(mParser, wanted));
    if (!buffer) {
        reportParserError();
        return false;
    }
    int64_t length = 0;
    do {
        const int64_t got = device.read(buffer + length, wanted - length);
        if (got < 0 || got > wanted - length) {
            reportProblem("read error");
            return false;
        }
        if (got == 0) {
            break;
        }
        length += got;
    } while (length < unparsed && length < wanted);
    mBytesFed += length;
    finished = length == 0;
    if (XML_ParseBuffer(mParser, static_cast<int>(length), finished ? XML_TRUE : XML_FALSE) ==
        XML_STATUS_OK) {
        return true;
    }
    if (!mStoppedOnPurpose) {
        reportParserError();
    }
    return false;
}

void ParseSession::reportParserError() {
    reportProblem(XML_ErrorString(XML_GetErrorCode(mParser)));
}

void ParseSession::reportProblem(const std::string& what) {
    // expat counts columns from 0; people count them from 1.
    const auto line = XML_GetCurrentLineNumber(mParser);
    const auto column = XML_GetCurrentColumnNumber(mParser) + 1;
    mHandler.message("line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + what,
                     Error);
}

void ParseSession::followCharacterWish() {
    if (mHandler.wantsCharacters() != mCharactersHandled) {
        mCharactersHandled = !mCharactersHandled;
        XML_SetCharacterDataHandler(mParser, mCharactersHandled ? &ParseSession::onCharacters : nullptr);
    }
}

template <typename Call>
void ParseSession::guarded(Call&& call) {
    // expat may still deliver an event or two after being stopped (the end of
    // an empty element); the handler asked for none.
    if (mStoppedOnPurpose) {
        return;
    }
    try {
        if (!call()) {
            mStoppedOnPurpose = true;
            stop();
        }
    } catch (...) {
        mHandlerException = std::current_exception();
        mStoppedOnPurpose = true;
        stop();
    }
}

void ParseSession::onStartElement(void* userData, const XML_Char* name, const XML_Char** attributes) {
    auto* session = static_cast<ParseSession*>(userData);
    session->guarded([&] {
        // expat lists attributes as name/value pairs in document order.
        size_t count = 0;
        while (attributes[2 * count]) {
            ++count;
        }
        XmlAttributes& list = session->mAttributes;
        list.resize(count);
        for (size_t i = 0; i < count; ++i) {
            list[i] = {attributes[2 * i], attributes[2 * i + 1]};
        }
        return session->mHandler.startElement(name, list) == Continue;
    });
    session->followCharacterWish();
}

void ParseSession::onEndElement(void* userData, const XML_Char* name) {
    auto* session = static_cast<ParseSession*>(userData);
    session->guarded([&] { return session->mHandler.endElement(name); });
    session->followCharacterWish();
}

void ParseSession::onCharacters(void* userData, const XML_Char* data, int length) {
    auto* session = static_cast<ParseSession*>(userData);
    session->guarded([&] { return session->mHandler.characters(data, length); });
}

// Entities are refused outright: a few declarations could otherwise expand a
// small document into gigabytes of text.
void ParseSession::onEntityDeclaration(void* userData, const XML_Char* entityName, int, const XML_Char*, int,
                                       const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*) {
    auto* session = static_cast<ParseSession*>(userData);
    session->guarded([&] {
        session->reportProblem(std::string("entity declarations are not accepted (") + entityName + ")");
        return false;
    });
}

}  // namespace

XmlSaxParserHandler::~XmlSaxParserHandler() = default;

void initializeXmlLibrary() {
    initCounter().incrementInitCounter();
}

void finalizeXmlLibrary() {
    initCounter().decrementInitCounter();
}

bool ParseXmlStream(ovIoDevice& device, XmlSaxParserHandler& handler, ovProgressNotifierInterface* cancel) {
    const ParserPtr parser(XML_ParserCreate(nullptr));
    if (!parser) {
        handler.message("out of memory creating the XML parser", Error);
        return false;
    }
    ParseSession session(parser.get(), handler);
    return session.parse(device, cancel);
}

}  // namespace ov::xml
