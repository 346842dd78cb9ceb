#pragma once

#include <QList>
#include <QString>

// One e-mail address: the address proper, as it goes into RCPT TO, and an optional display name.
class MailAddress
{
public:
    QString address;
    QString name;

    // Reads the text of one address ("Name <a@b>", "a@b (comment)", ...) into Address and Name.
    // Lenient: never fails; text that does not fit still gives an item, possibly an odd one.
    void setText(const QString &text);
    bool isEmpty() const { return address.isEmpty() && name.isEmpty(); }

    friend bool operator==(const MailAddress &, const MailAddress &) = default;
};

// Ordered address items, in the order of the text they were read from; duplicates stay.
class MailAddressList
{
public:
    int count() const { return int(m_items.size()); }
    MailAddress &operator[](int index) { return m_items[index]; }
    const MailAddress &operator[](int index) const { return m_items[index]; }

    // Appends an empty item and returns it (valid until the list changes again).
    MailAddress &add();
    void remove(int index) { m_items.removeAt(index); }
    void clear() { m_items.clear(); }

    // Replaces the whole content by the items read from list text: commas and semicolons
    // separate addresses, quoted strings and comments protect them, a group name is dropped.
    void setAddresses(const QString &text);

    auto begin() { return m_items.begin(); }
    auto end() { return m_items.end(); }
    auto begin() const { return m_items.cbegin(); }
    auto end() const { return m_items.cend(); }

private:
    QList<MailAddress> m_items;
};
