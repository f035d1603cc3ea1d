// Turning the From, To and Cc fields into envelope addresses.
#include <gtest/gtest.h>

#include "smtp/AddressList.h"

namespace {

std::vector<std::string> Parse(const std::string& text, bool expectResult = true) {
    std::vector<std::string> list;
    EXPECT_EQ(ParseAddressList(text, list), expectResult) << text;
    return list;
}

using List = std::vector<std::string>;

TEST(AddressList, DisplayNamesSeparatorsAndEmptyPieces) {
    EXPECT_EQ(Parse("Ann Smith <ann@x.org>; bob@y.org"), (List{"ann@x.org", "bob@y.org"}));
    EXPECT_EQ(Parse("a@x , ; ,  b@y"), (List{"a@x", "b@y"}));
    // Quotes are not understood: a comma inside a quoted name still splits.
    EXPECT_EQ(Parse("\"Smith, Ann\" <ann@x.org>"), (List{"\"Smith", "ann@x.org"}));
    EXPECT_EQ(Parse("  <  spaced@x  >  "), (List{"spaced@x"}));
    EXPECT_EQ(Parse("Name <open@x.org"), (List{"open@x.org"}));  // no '>': up to the end, trimmed
    EXPECT_EQ(Parse("Name <>, <  >, c@z"), (List{"c@z"}));        // empty brackets yield nothing
    EXPECT_EQ(Parse("a@x;a@x,A@x"), (List{"a@x", "a@x", "A@x"}));  // duplicates stay
    EXPECT_EQ(Parse("\ta@x\t"), (List{"a@x"}));
    EXPECT_EQ(Parse(" ; , ;"), List{});
    EXPECT_EQ(Parse("", false), List{});
}

TEST(AddressList, AppendsToWhatIsThere) {
    List list = {"first@x"};
    ParseAddressList("second@y", list);
    EXPECT_EQ(list, (List{"first@x", "second@y"}));
}

TEST(AddressList, SplitSkipsLeadingSpacesAndDropsEmptyPieces) {
    EXPECT_EQ(SplitList("", ','), List{});
    EXPECT_EQ(SplitList(",,", ','), List{});
    EXPECT_EQ(SplitList("  a , b,", ','), (List{"a ", "b"}));
    EXPECT_EQ(SplitList("x", ','), (List{"x"}));
}

TEST(AddressList, EnvelopeAddressesCannotCarryCommands) {
    std::string why;
    EXPECT_TRUE(CheckEnvelopeAddress("ann@x.org", why));
    EXPECT_TRUE(CheckEnvelopeAddress("\"odd name\"@x.org", why));
    for (const std::string& bad : List{"a@x\r\nRCPT TO: <evil@y>", "a@x\nDATA", std::string("a@x\0y", 5), "a@x\tb", "a@x\x7f",
                            "a@x>", "<a@x"}) {
        why.clear();
        EXPECT_FALSE(CheckEnvelopeAddress(bad, why)) << bad;
        EXPECT_NE(why.find("The address"), std::string::npos);
        EXPECT_EQ(why.find('\n'), std::string::npos) << "the message must stay on one line: " << why;
    }
}

} // namespace
