#pragma once

#include <QList>
#include <QString>

// One e-mail address: the address proper, as it goes into RCPT TO, and an optional display name.
class TIdEMailAddressItem
{
public:
    QString Address;
    QString Name;

    // Reads the text of one address ("Name <a@b>", "a@b (comment)", ...) into Address and Name.
    // Lenient: never fails; text that does not fit still gives an item, possibly an odd one.
    void setText(const QString &text);
    bool isEmpty() const { return Address.isEmpty() && Name.isEmpty(); }

    friend bool operator==(const TIdEMailAddressItem &, const TIdEMailAddressItem &) = default;
};

// Ordered address items, in the order of the text they were read from; duplicates stay.
class TIdEMailAddressList
{
public:
    int Count() const { return int(m_items.size()); }
    TIdEMailAddressItem &operator[](int index) { return m_items[index]; }
    const TIdEMailAddressItem &operator[](int index) const { return m_items[index]; }

    // Appends an empty item and returns it (valid until the list changes again).
    TIdEMailAddressItem &Add();
    void Remove(int index) { m_items.removeAt(index); }
    void Clear() { m_items.clear(); }

    // Replaces the whole content by the items read from list text: commas and semicolons
    // separate addresses, quoted strings and comments protect them, a group name is dropped.
    void setEMailAddresses(const QString &text);

    auto begin() { return m_items.begin(); }
    auto end() { return m_items.end(); }
    auto begin() const { return m_items.cbegin(); }
    auto end() const { return m_items.cend(); }

private:
    QList<TIdEMailAddressItem> m_items;
};
