#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "system/ovIoDevice.h"
#include "system/ovProgressNotifier.h"

namespace ov::xml {

void initializeXmlLibrary();
void finalizeXmlLibrary();

// Views into the parser's buffers, valid only during the callback that
// receives them: a large document costs no copy of any name or value.
using XmlAttributes = std::vector<std::pair<std::string_view, std::string_view>>;

enum ElementAnswer : int { Continue = 0, Stop = 2 };
enum MessageLevel : int { Warning = 4, Error = 5 };

// Receiver of the parser's events. Names are the qualified names as written
// (prefix included); texts are UTF-8.
class XmlSaxParserHandler {
public:
    virtual ~XmlSaxParserHandler();
    // Start and end of the document share one operation; false stops the parse.
    virtual bool documentBoundary() = 0;
    // Continue (0) to go on, Stop (2) to end the parse.
    virtual int startElement(std::string_view name, const XmlAttributes& attributes) = 0;
    virtual bool endElement(std::string_view name) = 0;
    virtual bool characters(const char* data, int length) = 0;
    // Problems found by the parser (malformed input, I/O failure), with their line.
    virtual bool message(const std::string& text, int level) = 0;

    // Asked after each element start and end.
    bool wantsCharacters() const { return mWantsCharacters; }

protected:
    // A handler that reads the text of few elements turns this off in
    // between: the parser then passes the rest by without a call (a large
    // document holds a line break between every two elements).
    void setWantsCharacters(bool wanted) { mWantsCharacters = wanted; }

private:
    bool mWantsCharacters = true;
};

// Reads the whole device through handler. Answers true when the document was
// well-formed and read to its end without a handler stopping it and without
// cancellation. Malformed input is reported through handler.message (level 5)
// with the line and column. Entity declarations are refused, so that no
// document can expand itself beyond its size. Besides the encodings expat
// reads (UTF-8, UTF-16, ISO-8859-1, ASCII), Windows-1252 and ISO-8859-15 are read. The device is read in
// chunks of 64 KiB, larger while a token is longer than that, so that a parse takes time linear in the
// document however long its tokens are; reads may answer fewer bytes than asked.
bool ParseXmlStream(ovIoDevice& device, XmlSaxParserHandler& handler, ovProgressNotifierInterface* cancel);

}  // namespace ov::xml
