#include "XmlPushReader.h"

#include <expat.h>

#include <cstring>
#include <new>

namespace {

constexpr int PieceSize = 64 * 1024;

// One pass over the name: this runs for every element of a sheet.
std::string_view localName(const char *name)
{
    const char *local = nullptr; // after the first colon
    const char *end = name;
    for (; *end; ++end) {
        if (*end == ':' && !local)
            local = end + 1;
    }
    if (!local)
        local = name;
    return {local, std::size_t(end - local)};
}

} // namespace

XmlPushReader::XmlPushReader()
    // The part's own declaration (or byte order mark) names its encoding; the texts come as UTF-8.
    : m_parser(XML_ParserCreate(nullptr))
{
    if (!m_parser)
        throw std::bad_alloc();
    XML_SetUserData(m_parser, this);
    XML_SetElementHandler(m_parser, &XmlPushReader::onStart, &XmlPushReader::onEnd);
    XML_SetCharacterDataHandler(m_parser, &XmlPushReader::onCharacters);
}

XmlPushReader::~XmlPushReader()
{
    XML_ParserFree(m_parser);
}

bool XmlPushReader::feed(QIODevice &part)
{
    if (m_state != State::Parsing)
        return false;
    void *buffer = XML_GetBuffer(m_parser, PieceSize);
    if (!buffer) {
        m_state = State::Failed;
        return false;
    }
    const qint64 read = part.read(static_cast<char *>(buffer), PieceSize);
    // A read error is damage, never the end of the part.
    if (read < 0) {
        m_state = State::Failed;
        return false;
    }
    const bool last = read == 0;
    if (XML_ParseBuffer(m_parser, int(read), last) != XML_STATUS_OK) {
        m_state = State::Failed;
        return false;
    }
    if (m_state == State::Parsing && last)
        m_state = State::Ended;
    return m_state == State::Parsing;
}

void XmlPushReader::skipTexts()
{
    XML_SetCharacterDataHandler(m_parser, nullptr);
}

void XmlPushReader::refuse()
{
    m_state = State::Failed;
    XML_StopParser(m_parser, XML_FALSE);
}

const char *XmlPushReader::attribute(const char **attributes, std::string_view name)
{
    for (; *attributes; attributes += 2) {
        if (name == attributes[0])
            return attributes[1];
    }
    return nullptr;
}

void XmlPushReader::onStart(void *self, const char *name, const char **attributes)
{
    auto *reader = static_cast<XmlPushReader *>(self);
    if (reader->m_state != State::Parsing)
        return;
    std::size_t count = 0;
    for (const char **item = attributes; *item; item += 2) {
        if (++count > maxAttributes || std::strlen(item[1]) > maxAttributeValue) {
            reader->refuse();
            return;
        }
    }
    reader->startElement(localName(name), attributes);
}

void XmlPushReader::onEnd(void *self, const char *)
{
    auto *reader = static_cast<XmlPushReader *>(self);
    if (reader->m_state == State::Parsing)
        reader->endElement();
}

void XmlPushReader::onCharacters(void *self, const char *text, int length)
{
    auto *reader = static_cast<XmlPushReader *>(self);
    if (reader->m_state == State::Parsing)
        reader->characters(std::string_view(text, std::size_t(length)));
}
