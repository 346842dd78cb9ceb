#include "MailAddress.h"

#include "Printers.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

namespace {

using Items = std::vector<std::pair<QString, QString>>; // (name, address)

struct ListCase
{
    const char *text;
    Items items;
};

void PrintTo(const ListCase &c, std::ostream *os)
{
    *os << '\'' << c.text << '\'';
}

Items itemsOf(const MailAddressList &list)
{
    Items items;
    for (const MailAddress &item : list)
        items.emplace_back(item.name, item.address);
    return items;
}

class AddressListReading : public testing::TestWithParam<ListCase>
{
};

TEST_P(AddressListReading, GivesTheItemsInOrder)
{
    MailAddressList list;
    list.add().address = QStringLiteral("left@over"); // whatever stood in the list before is replaced
    list.setAddresses(QString::fromUtf8(GetParam().text));
    EXPECT_EQ(itemsOf(list), GetParam().items);
}

const QString none;
const QString ab = QStringLiteral("a@b");
const QString cd = QStringLiteral("c@d");

INSTANTIATE_TEST_SUITE_P(
    Table, AddressListReading,
    testing::Values(ListCase{"a@b,c@d", {{none, ab}, {none, cd}}}, ListCase{"a@b; c@d", {{none, ab}, {none, cd}}},
                    ListCase{"a@b;;c@d", {{none, ab}, {none, cd}}}, ListCase{"a@b,,c@d", {{none, ab}, {none, cd}}},
                    ListCase{"a@b, a@b", {{none, ab}, {none, ab}}},
                    ListCase{"a@b c@d", {{none, QStringLiteral("a@bc@d")}}},
                    ListCase{"a@b，c@d", {{none, QStringLiteral("a@b，c@d")}}},
                    ListCase{"Sales Office <a@b>", {{QStringLiteral("Sales Office"), ab}}},
                    ListCase{"销售部 <a@b>", {{QStringLiteral("销售部"), ab}}},
                    ListCase{"\"Sales, East\" <a@b>, c@d", {{QStringLiteral("Sales, East"), ab}, {none, cd}}},
                    ListCase{"a@b (Sales)", {{none, ab}}}, ListCase{"(x) a@b", {{none, ab}}},
                    ListCase{"a@b.c (x, y), e@f", {{none, QStringLiteral("a@b.c")}, {none, QStringLiteral("e@f")}}},
                    ListCase{"a@b (x (y) z)", {{none, QStringLiteral("a@bx")}}},
                    ListCase{"grp: a@b, c@d;", {{none, ab}, {none, cd}}},
                    ListCase{"\"J\" <a @ b . c>", {{QStringLiteral("J"), QStringLiteral("a @b.c")}}},
                    ListCase{"a@b <c@d>", {{ab, cd}}}, ListCase{"<a@b>@c", {{QStringLiteral("@c"), ab}}},
                    ListCase{"<a@b>", {{none, ab}}}, ListCase{"<>", {{none, none}}}, ListCase{"<>;", {{none, none}}},
                    ListCase{"a@b, <>", {{none, ab}}}, ListCase{"abc", {{none, QStringLiteral("abc")}}},
                    ListCase{"", {}}, ListCase{" \t  ", {}}, ListCase{"  a@b  ", {{none, ab}}},
                    ListCase{"Sales Team a@b", {{QStringLiteral("Sales Team "), ab}}},
                    // A quotation mark inside a word quotes the rest of it.
                    ListCase{"ab\"cd\" <a@b>", {{QStringLiteral("abcd"), ab}}},
                    // A backslash closing a quoted string has nothing to escape and is dropped.
                    ListCase{"\"a\\", {{QStringLiteral("a"), none}}}));

// The reading only ever copies characters of the text and always comes to an end, whatever the
// mix of brackets, quotes, backslashes and separators.
TEST(AddressListReadingAnyText, EndsAndOnlyCopies)
{
    const QString alphabet = QStringLiteral("ab@.<>()\",;: \t\\新");
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pick(0, int(alphabet.size()) - 1);
    std::uniform_int_distribution<int> length(0, 24);
    for (int n = 0; n < 5000; ++n) {
        QString text;
        for (int i = length(random); i > 0; --i)
            text += alphabet.at(pick(random));
        MailAddressList list;
        list.setAddresses(text);
        for (const MailAddress &item : list) {
            for (const QChar c : item.name + item.address)
                ASSERT_TRUE(text.contains(c)) << text.toStdString();
        }
    }
}

} // namespace
