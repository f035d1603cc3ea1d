// The message a successful run writes, byte for byte, and as an independent
// MIME parser reads it.
#include <gtest/gtest.h>

#include <random>

#include "TestUtil.h"
#include "compose/MimeComposer.h"

namespace {

using testutil::CheckEml;
using testutil::ReadFile;
using testutil::ListFolder;
using testutil::TempDir;

const char kB1[] = "----=_NextPart_3020100_504_706_89ABCDEF";
const char kB2[] = "----=_NextPart_13121110_1514_1716_18191A1B1C1D1E1F";

// Records what the composer reports; stops it once stopAt bytes are done.
class BytesProgress : public IProgress {
public:
    std::uint64_t stopAt = UINT64_MAX, lastDone = 0, lastTotal = 0;
    int calls = 0;
    bool OnBytes(std::uint64_t done, std::uint64_t total) override {
        ++calls;
        lastDone = done, lastTotal = total;
        return done < stopAt;
    }
};

struct Fixture : ::testing::Test {
    TempDir dir;
    testutil::FixedPlatform fixed;
    testutil::ScopedTz utc {"UTC"};

    std::unique_ptr<CMimeComposer> Composer(const std::string& html, const std::string& out = "out.eml") {
        auto c = std::make_unique<CMimeComposer>(fixed.Get());
        c->m_strHtmlPath = dir.Write("page.html", html);
        c->m_strOutputPath = dir.Path() + out;
        return c;
    }
};

using ComposedMessage = Fixture;

TEST_F(ComposedMessage, RelatedShapeByteForByte) {
    auto c = Composer("<html>\n<body>Hi</body>\n</html>\n");
    c->m_strFrom = "Ann <ann@example.com>";
    c->m_strTo = "Bob <bob@example.com>";
    c->m_strCc = "Cy <cy@example.com>";
    c->m_strSubject = "Hello";
    ASSERT_TRUE(c->Compose()) << c->GetLastError();
    std::string b = kB1;
    std::string want =
        "From: Ann <ann@example.com>\r\nTo: Bob <bob@example.com>\r\nCc: Cy <cy@example.com>\r\n"
        "Subject: Hello\r\nDate: Sat, 05 Dec 2026 23:41:32 -0000\r\n"
        "Message-ID: <101112131415161718191a1b1c1d1e1f@example.com>\r\n"
        "MIME-Version: 1.0\r\nContent-Type: multipart/related;\r\n\ttype=\"text/html\";\r\n\tboundary=\"" + b + "\"\r\n"
        "X-Priority: 3\r\nX-Mailer: Quillory 2.0.617\r\n\r\n"
        "This is a multi-part message in MIME format.\r\n\r\n"
        "--" + b + "\r\nContent-Type: text/html;\r\n\tcharset=\"iso-8859-1\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n"
        "PGh0bWw+DQo8Ym9keT5IaTwvYm9keT4NCjwvaHRtbD4NCg==\r\n\r\n"
        "--" + b + "--\r\n";
    EXPECT_EQ(ReadFile(c->m_strOutputPath), want);
    EXPECT_EQ(CheckEml(c->m_strOutputPath, {"--html", c->m_strHtmlPath}), "");
}

TEST_F(ComposedMessage, MixedShapeByteForByte) {
    auto c = Composer("<html>\n<body>Hi</body>\n</html>\n");
    c->m_strFrom = "ann@example.com";
    c->m_strTo = "bob@example.com";
    c->m_listAttachments = {dir.Write("notes.txt", "ab")};
    ASSERT_TRUE(c->Compose()) << c->GetLastError();
    std::string b1 = kB1, b2 = kB2;
    std::string want =
        "From: ann@example.com\r\nTo: bob@example.com\r\n"
        "Subject: \r\nDate: Sat, 05 Dec 2026 23:41:32 -0000\r\n"
        "Message-ID: <202122232425262728292a2b2c2d2e2f@example.com>\r\n"
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n\tboundary=\"" + b1 + "\"\r\n"
        "X-Priority: 3\r\nX-Mailer: Quillory 2.0.617\r\n\r\n"
        "This is a multi-part message in MIME format.\r\n\r\n"
        "--" + b1 + "\r\nContent-Type: multipart/related;\r\n\ttype=\"text/html\";\r\n\tboundary=\"" + b2 +
        "\"\r\n\r\n\r\n"
        "--" + b2 + "\r\nContent-Type: text/html;\r\n\tcharset=\"iso-8859-1\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n"
        "PGh0bWw+DQo8Ym9keT5IaTwvYm9keT4NCjwvaHRtbD4NCg==\r\n\r\n"
        "--" + b2 + "--\r\n\r\n"
        "--" + b1 + "\r\nContent-Type: text/plain;\r\n\tname=\"notes.txt\"\r\n"
        "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n\tfilename=\"notes.txt\"\r\n\r\n"
        "YWI=\r\n\r\n"
        "--" + b1 + "--\r\n";
    EXPECT_EQ(ReadFile(c->m_strOutputPath), want);
}

TEST_F(ComposedMessage, AttachmentsStreamWholeAndInOrder) {
    std::mt19937 gen(3);
    std::string big(233472 * 2 + 3649, '\0');  // crosses several read chunks
    for (char& ch : big) ch = static_cast<char>(gen());
    auto c = Composer("<p>see attached</p>");
    std::string a1 = dir.Write("big.bin", big);
    std::string a2 = dir.Write("empty.dat", "");
    std::string a3 = dir.Write("one.txt", "x");
    std::string a4 = dir.Write("quote\"and\\slash.txt", "odd name");
    // A file of /proc reports no size but has content.
    c->m_listAttachments = {a1, a2, a3, a4, "/proc/version"};
    ASSERT_TRUE(c->Compose()) << c->GetLastError();
    EXPECT_EQ(CheckEml(c->m_strOutputPath, {"--html", c->m_strHtmlPath, "--attach", a1, "--attach", a2, "--attach", a3,
                                            "--attach", a4, "--attach", "/proc/version"}),
              "");
    std::string msg = ReadFile(c->m_strOutputPath);
    // An empty file's part header is followed directly by the blank line pair.
    EXPECT_NE(msg.find("filename=\"empty.dat\"\r\n\r\n\r\n\r\n--"), std::string::npos);
    EXPECT_NE(msg.find("filename=\"quote\\\"and\\\\slash.txt\""), std::string::npos);
}

// An attached message travels unencoded when it can, else as plain data.
TEST_F(ComposedMessage, AttachedMessagesAreNeverBase64Messages) {
    const std::string head = "From: a@b\r\nSubject: inner\r\n\r\n";
    struct Case {
        std::string name, content, type, encoding;
    } cases[] = {
        {"plain.eml", head + "body\r\n", "message/rfc822", "7bit"},
        {"latin.eml", head + "caf\xE9\r\n", "message/rfc822", "8bit"},
        {"longest.eml", head + std::string(998, 'x') + "\r\n", "message/rfc822", "7bit"},
        {"bare-lf.eml", "From: a@b\nSubject: inner\n\nbody\n", "application/octet-stream", "base64"},
        {"long.eml", head + std::string(999, 'x') + "\r\n", "application/octet-stream", "base64"},
        {"nul.eml", head + std::string("a\0b\r\n", 5), "application/octet-stream", "base64"},
        {"unended.eml", head + "body", "application/octet-stream", "base64"},
        {"lone-cr.eml", head + "a\rb\r\n", "application/octet-stream", "base64"},
    };
    fixed.environment.files["/etc/mime.types"] = "message/rfc822 eml\n";
    auto c = Composer("<p>x</p>");
    std::vector<std::string> args;
    for (const Case& k : cases) {
        c->m_listAttachments.push_back(dir.Write(k.name, k.content));
        args.insert(args.end(), {"--attach", c->m_listAttachments.back()});
    }
    ASSERT_TRUE(c->Compose()) << c->GetLastError();
    std::string msg = ReadFile(c->m_strOutputPath);
    for (const Case& k : cases) {
        std::string header = "Content-Type: " + k.type + ";\r\n\tname=\"" + k.name +
                             "\"\r\nContent-Transfer-Encoding: " + k.encoding + "\r\n";
        EXPECT_NE(msg.find(header), std::string::npos) << k.name;
    }
    EXPECT_NE(msg.find("\r\n\r\n" + head + "body\r\n\r\n--"), std::string::npos);
    EXPECT_EQ(CheckEml(c->m_strOutputPath, args), "");
}

TEST_F(ComposedMessage, LineEndsOfThePageAreNormalised) {
    // Lone LF becomes CR LF, CR LF stays, a lone CR stays.
    auto c = Composer("a\nb\r\nc\rd\r\r\n");
    ASSERT_TRUE(c->Compose()) << c->GetLastError();
    TempDir expect;
    std::string want = expect.Write("want.html", "a\r\nb\r\nc\rd\r\r\n");
    // The checker normalises LF itself, so give it the already normal form.
    EXPECT_EQ(CheckEml(c->m_strOutputPath, {"--html", want}), "");
    EXPECT_NE(ReadFile(c->m_strOutputPath).find("YQ0KYg0KYw1kDQ0K\r\n\r\n"), std::string::npos);
}

TEST_F(ComposedMessage, EmptyPageGivesAnEmptyHtmlBody) {
    auto c = Composer("");
    ASSERT_TRUE(c->Compose()) << c->GetLastError();
    std::string msg = ReadFile(c->m_strOutputPath);
    EXPECT_NE(msg.find("Content-Transfer-Encoding: base64\r\n\r\n\r\n\r\n--"), std::string::npos);
}

TEST_F(ComposedMessage, HtmlLinesBreakEvery76Characters) {
    auto c = Composer(std::string(58, 'x'));
    ASSERT_TRUE(c->Compose());
    std::string msg = ReadFile(c->m_strOutputPath);
    std::size_t at = msg.find("eHh4");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(msg.substr(at + 76, 2), "\r\n");
    EXPECT_EQ(msg.substr(at + 78, 8), "eA==\r\n\r\n");
}

TEST_F(ComposedMessage, ProgressCountsBytesAndCanStopLeavingNothing) {
    BytesProgress progress;
    auto c = Composer("<p>x</p>");
    std::string big = dir.Write("big.bin", std::string(1 << 20, 'b'));
    c->m_listAttachments = {dir.Write("a.txt", "a"), big};
    c->m_pProgress = &progress;
    ASSERT_TRUE(c->Compose());
    EXPECT_EQ(progress.lastTotal, 8u + 1u + (1u << 20));
    EXPECT_EQ(progress.lastDone, progress.lastTotal);
    EXPECT_GT(progress.calls, 3) << "large files report as they go";

    BytesProgress stopping;
    stopping.stopAt = 100000;
    auto stopped = Composer("<p>x</p>", "stopped.eml");
    stopped->m_listAttachments = {big};
    stopped->m_pProgress = &stopping;
    EXPECT_FALSE(stopped->Compose());
    EXPECT_LT(stopping.lastDone, progress.lastTotal) << "it stops at the next buffer";
    EXPECT_EQ(ListFolder(dir.Path()).size(), 4u) << "page, a.txt, big.bin, out.eml: no other file, not even a temporary one";
}

TEST_F(ComposedMessage, HostNameAndBoundaryFallbacks) {
    fixed.host.name = "MyPC.Example.ORG";
    EXPECT_STREQ(CMimeComposer(fixed.Get()).HostName(), "mypc");
    fixed.host.name = "a-very-long-hostname";
    EXPECT_STREQ(CMimeComposer(fixed.Get()).HostName(), "Quillnode");
    fixed.host.name = "";
    EXPECT_STREQ(CMimeComposer(fixed.Get()).HostName(), "Quillnode");
    fixed.host.name = "ok";
    fixed.host.fail = true;
    EXPECT_STREQ(CMimeComposer(fixed.Get()).HostName(), "Quillnode");

    // No random source: tick count and five pseudo-random values, newest first.
    fixed.random.fail = true;
    auto c = Composer("<p>x</p>");
    ASSERT_TRUE(c->Compose());
    EXPECT_EQ(c->Boundary(), "----=_NextPart_ABCDE_5_4_321");
    EXPECT_EQ(c->RelatedBoundary(), c->Boundary());
}

} // namespace
