// From, To and Cc values read as address lists.
#include <gtest/gtest.h>

#include "core/AddressList.h"

namespace {

using List = std::vector<std::string>;

struct Case {
    std::string text;
    List envelope;      // when the text is a list
    std::string error;  // otherwise: the end of the message
};

TEST(AddressList, EnvelopeAddressesOrTheBadPiece) {
    const Case cases[] = {
        {"Ann Smith <ann@x.org>; bob@y.org", {"ann@x.org", "bob@y.org"}, ""},
        {"a@x , ; ,  b@y", {"a@x", "b@y"}, ""},
        {"\"Doe, John\" <j@example.com>, ann@example.com", {"j@example.com", "ann@example.com"}, ""},
        {"Grp: a@b.c, d@e.f;, x@y.z; empty:;", {"a@b.c", "d@e.f", "x@y.z"}, ""},
        {"a@b.c (work, home), \"q\\\"x\" <q@r.s>", {"a@b.c", "q@r.s"}, ""},
        {"Name <>, <  >, c@z", {"c@z"}, ""},  // empty brackets add nothing
        {"a@x;a@x,A@x", {"a@x", "a@x", "A@x"}, ""},  // duplicates stay
        {" ; , ;", {}, ""},
        {"", {}, ""},
        {"\"a b\"@c.d, a@[IPv6:::1]", {"\"a b\"@c.d", "a@[IPv6:::1]"}, ""},
        {"Zo\xc3\xab <zoe@ex\xc3\xa4mple.de>, a@stra\xc3\x9f" "e.de", {"zoe@xn--exmple-cua.de", "a@xn--strae-oqa.de"}, ""},
        {"x<y>z <w@v.u>", {}, "\"x<y>z <w@v.u>\" is not valid."},
        {"a@b.c d@e.f", {}, "\"a@b.c d@e.f\" is not valid."},
        {"Ann <a@x<evil>", {}, "\"Ann <a@x<evil>\" is not valid."},
        {"ok@x.org, bob", {}, "\"bob\" has no domain."},
        {"Doe, John <j@x.com>", {}, "\"Doe\" has no domain."},
        {"a@", {}, "\"a@\" is not valid."},
        {"Name <open@x.org", {}, "\"Name <open@x.org\" has '<' without '>'."},
        {"a@x <b@y>>, c@z", {}, "\"a@x <b@y>>\" has '>' without '<'."},
        {"\"unterminated <a@b.c>", {}, "has an unterminated quoted string."},
        {"a@b.c (open", {}, "has an unterminated comment."},
        {"c@z\r\nRSET", {}, "\"c@z\\r\\nRSET\" contains a control character."},
        {"a@x\x1b[2J", {}, "\"a@x\\x1b[2J\" contains a control character."},
        {"a@ex\xe2\x92\x88" "ample.de", {}, "has a domain that cannot be written in ASCII"},
        {"a@b\xc2\xa0", {}, "has a domain that cannot be written in ASCII (it maps to \"b \")."},
        {"a@[\xc3\xbf]", {}, "has an address literal that is not ASCII."},
    };
    for (const Case& c : cases) {
        AddressListResult r;
        bool ok = ParseAddressList(c.text, r);
        EXPECT_EQ(ok, c.error.empty()) << c.text << ": " << r.strError;
        if (!ok) {
            EXPECT_EQ(r.strError.rfind("The address \"", 0), 0u) << r.strError;
            EXPECT_NE(r.strError.find(c.error), std::string::npos) << c.text << ": " << r.strError;
            continue;
        }
        List got;
        for (const MailAddress& a : r.Addresses()) got.push_back(a.EnvelopeAddress());
        EXPECT_EQ(got, c.envelope) << c.text;
    }
}

TEST(AddressList, NamesGroupsAndTheWindows1252Reading) {
    AddressListResult r;
    ASSERT_TRUE(ParseAddressList("Team: \"Smith, Ann\" <ann@x.org>;, \xe9l\xe8ve <e@\xe9" "cole.fr>", r)) << r.strError;
    ASSERT_EQ(r.listEntries.size(), 2u);
    EXPECT_TRUE(r.listEntries[0].bGroup);
    EXPECT_EQ(r.listEntries[0].strGroupName, "Team");
    EXPECT_EQ(r.listEntries[0].listMembers[0].strName, "Smith, Ann");
    const MailAddress& e = r.listEntries[1].listMembers[0];
    EXPECT_FALSE(r.listEntries[1].bGroup);
    EXPECT_EQ(e.strName, "\xc3\xa9l\xc3\xa8ve");  // bytes that are not UTF-8 read as windows-1252
    EXPECT_EQ(e.strDomain, "\xc3\xa9" "cole.fr");
    EXPECT_EQ(e.strAsciiDomain, "xn--cole-9oa.fr");

    // A long piece is named by its start.
    ASSERT_FALSE(ParseAddressList(std::string(5000, 'a') + " b@c.d", r));
    EXPECT_LT(r.strError.size(), 100u);
}

TEST(AddressList, EnvelopeAddressesCannotCarryCommands) {
    std::string why;
    EXPECT_TRUE(CheckEnvelopeAddress("ann@x.org", why));
    EXPECT_TRUE(CheckEnvelopeAddress("\"odd name\"@x.org", why));
    for (const std::string& bad : List{"a@x\r\nRCPT TO:<evil@y>", std::string("a@x\0y", 5), "a@x\tb", "a@x\x7f", "<a@x"}) {
        EXPECT_FALSE(CheckEnvelopeAddress(bad, why)) << bad;
        EXPECT_EQ(why.find('\n'), std::string::npos) << "the message must stay on one line: " << why;
    }
}

} // namespace
