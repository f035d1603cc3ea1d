// Turning attribute values into file names.
#include <gtest/gtest.h>

#include "compose/UrlPath.h"

namespace {

std::string Decode(const std::string& text, const std::string& codeset = "UTF-8") {
    std::string out = "<unset>";
    DecodeUrlPath(text, out, codeset);
    return out;
}

TEST(UrlPathDecoding, EscapesAndTheFourEntities) {
    EXPECT_EQ(Decode("my%20pic%2Egif"), "my pic.gif");
    EXPECT_EQ(Decode("%zz%4%"), "%zz%4%");  // not two hex digits: copied
    EXPECT_EQ(Decode("a&amp;b&QUOT;c&lt;d&Gt;e"), "a&b\"c<d>e");
    EXPECT_EQ(Decode("a&#38;b&nbsp;&am"), "a&#38;b&nbsp;&am");
    EXPECT_EQ(Decode("%26amp;"), "&amp;");  // decoded once only
    EXPECT_EQ(Decode(std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(Decode(""), "");
}

TEST(UrlPathDecoding, EscapedUtf8BecomesTheFileNameCodeset) {
    // Under UTF-8 the bytes are the name already.
    EXPECT_EQ(Decode("caf%C3%A9.gif", "UTF-8"), "caf\xC3\xA9.gif");
    EXPECT_EQ(Decode("caf%C3%A9.gif", "utf8"), "caf\xC3\xA9.gif");
    EXPECT_EQ(Decode("caf%C3%A9.gif", "ISO-8859-1"), "caf\xE9.gif");
    // No equivalent in the codeset, or a sequence cut short: the decoded bytes stay.
    EXPECT_EQ(Decode("%E2%82%AC.gif", "ISO-8859-1"), "\xE2\x82\xAC.gif");
    EXPECT_EQ(Decode("caf%C3", "ISO-8859-1"), "caf\xC3");
    EXPECT_EQ(Decode("%E2%82", "ISO-8859-1"), "\xE2\x82");
    // Raw bytes of the page are never converted, escaped or not.
    EXPECT_EQ(Decode("caf\xC3\xA9.gif", "ISO-8859-1"), "caf\xC3\xA9.gif");
    EXPECT_EQ(Decode("caf\xC3\xA9%20x", "ISO-8859-1"), "caf\xC3\xA9 x");
    // An unknown codeset leaves the bytes too.
    EXPECT_EQ(Decode("caf%C3%A9", "NO-SUCH-CODESET"), "caf\xC3\xA9");
}

} // namespace
