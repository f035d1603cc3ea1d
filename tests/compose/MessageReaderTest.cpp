// Reading composed messages back, as a recipient's program does.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "compose/MessageReader.h"

namespace {

struct ReadCase {
    const char* name;
    std::string message;
    bool ok;
    std::string html, charset;
    std::map<std::string, std::string> parts;  // Content-ID -> "type|data"
};

TEST(MessageReader, FindsTheBodyAndDecodesEveryPart) {
    const std::string head = "From: a@b.c\r\nMIME-Version: 1.0\r\n";
    const ReadCase cases[] = {
        {"quoted-printable body in its own charset",
         head + "Content-Type: text/html; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
                "<p>caf=E9 soft=\r\nbreak</p>\r\n",
         true, "<p>caf\xe9 softbreak</p>\r\n", "iso-8859-1", {}},
        {"alternative with related parts; an HTML attachment is not the body",
         head + "Content-Type: multipart/mixed; boundary=M\r\n\r\n--M\r\n"
                "Content-Type: multipart/alternative; boundary=A\r\n\r\n--A\r\n"
                "Content-Type: text/plain\r\n\r\nplain\r\n--A\r\n"
                "Content-Type: multipart/related; boundary=R\r\n\r\n--R\r\n"
                "Content-Type: text/html; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\nPGltZyBzcmM9ImNpZDppQHgiPg==\r\n--R\r\n"
                "Content-Type: image/png; name=\"a.png\"\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <i@x>\r\n\r\n"
                "iVBORw==\r\n--R\r\n"
                "Content-Type: text/css; charset=UTF-8\r\nContent-ID: <s@x>\r\n\r\np{}\r\n--R--\r\n--A--\r\n--M\r\n"
                "Content-Type: text/html\r\nContent-Disposition: attachment; filename=x.html\r\n\r\n<b>not me</b>\r\n--M--\r\n",
         true, "<img src=\"cid:i@x\">", "UTF-8", {{"i@x", "image/png|\x89PNG"}, {"s@x", "text/css|p{}"}}},
        {"no HTML part", head + "Content-Type: text/plain\r\n\r\nhello\r\n", false, "", "", {}},
        {"nothing at all", "", false, "", "", {}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        MessageContent content;
        std::string err;
        ASSERT_EQ(ReadMessageText(c.message, content, err), c.ok) << err;
        if (!c.ok) {
            EXPECT_FALSE(err.empty());
            continue;
        }
        EXPECT_EQ(content.m_strHtml, c.html);
        EXPECT_EQ(content.m_strHtmlCharset, c.charset);
        std::map<std::string, std::string> parts;
        for (const auto& [id, part] : content.m_mapParts) parts[id] = part.m_strContentType + "|" + part.m_strData;
        EXPECT_EQ(parts, c.parts);
    }
}

// Composed messages are read back in the webmail tests; here only a file
// that cannot be read.
TEST(MessageReader, AFileThatCannotBeReadIsNamed) {
    testutil::TempDir dir;
    MessageContent content;
    std::string err;
    EXPECT_FALSE(ReadMessageFile(dir.Path() + "missing.eml", content, err));
    EXPECT_NE(err.find("missing.eml"), std::string::npos) << err;
}

} // namespace
