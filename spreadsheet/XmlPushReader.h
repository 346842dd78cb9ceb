#pragma once

#include <QIODevice>

#include <string_view>

struct XML_ParserStruct;

// Feeds one XML part to expat piece by piece and hands its elements and texts to the subclass.
// Element names come without their prefix ("x:row" is "row"), attribute names as written. Expat
// reads several times faster than QXmlStreamReader, which matters for sheets of many rows.
class XmlPushReader
{
public:
    // An element with more attributes, or an attribute value of more bytes, is damage: far above
    // anything a workbook writes (a sheet's root element carries some ten namespace declarations,
    // a value at most a formula or a cell's text), so the handlers never take countless or endless ones.
    static constexpr std::size_t maxAttributes = 1000;
    static constexpr std::size_t maxAttributeValue = 1024 * 1024;

    XmlPushReader();
    virtual ~XmlPushReader();
    XmlPushReader(const XmlPushReader &) = delete;
    XmlPushReader &operator=(const XmlPushReader &) = delete;

    // Feeds the next piece of the part (all of it at its end). False once the part is over, well
    // formed or not, or once a handler called refuse().
    bool feed(QIODevice &part);
    // Feeds the whole part.
    void feedAll(QIODevice &part)
    {
        while (feed(part)) { }
    }
    // The part ended well formed and no handler refused it.
    bool ended() const { return m_state == State::Ended; }
    bool failed() const { return m_state == State::Failed; }

protected:
    // Attributes as expat gives them: name, value, name, value, ..., null.
    virtual void startElement(std::string_view name, const char **attributes) = 0;
    // The end of the element last started and not ended (expat has matched the names).
    virtual void endElement() = 0;
    virtual void characters(std::string_view text) = 0;
    // From a handler: the content is damaged; nothing more is parsed.
    void refuse();
    // For a subclass that looks at no text: characters() is no longer called.
    void skipTexts();

    // The value of the attribute named exactly so, or null.
    static const char *attribute(const char **attributes, std::string_view name);

private:
    enum class State { Parsing, Ended, Failed };
    static void onStart(void *self, const char *name, const char **attributes);
    static void onEnd(void *self, const char *name);
    static void onCharacters(void *self, const char *text, int length);

    XML_ParserStruct *m_parser;
    State m_state = State::Parsing;
};
