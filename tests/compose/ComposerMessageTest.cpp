// The message a successful run writes, byte for byte, and as an independent
// MIME parser reads it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <gmime/gmime.h>

#include "TestUtil.h"
#include "compose/MimeComposer.h"

namespace {

using testutil::CheckEml;
using testutil::RunCommand;
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

// GMime's reading of the headers and part names: a parser of its own, not ours.
std::string ReadWithGMime(const std::string& path) {
    g_mime_init();
    GMimeStream* stream = g_mime_stream_fs_open(path.c_str(), O_RDONLY, 0, nullptr);
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* msg = g_mime_parser_construct_message(parser, nullptr);
    std::string out;
    auto take = [&out](const char* name, char* text) {
        std::string value = text ? text : "";
        g_free(text);
        // GMime leaves the folds in a display name; unfolding is RFC 5322's first step.
        for (std::size_t at; (at = value.find("\r\n ")) != std::string::npos;) value.erase(at, 2);
        out += std::string(name) + ": " + value + "\n";
    };
    take("From", internet_address_list_to_string(g_mime_message_get_from(msg), nullptr, FALSE));
    take("To", internet_address_list_to_string(g_mime_message_get_to(msg), nullptr, FALSE));
    take("Cc", internet_address_list_to_string(g_mime_message_get_cc(msg), nullptr, FALSE));
    take("Subject", g_strdup(g_mime_message_get_subject(msg)));
    take("Message-ID", g_strdup(g_mime_message_get_message_id(msg)));
    g_mime_message_foreach(
        msg,
        [](GMimeObject*, GMimeObject* part, gpointer data) {
            if (GMIME_IS_PART(part))
                *static_cast<std::string*>(data) += std::string("part: ") +
                    (g_mime_part_get_filename(GMIME_PART(part)) ? g_mime_part_get_filename(GMIME_PART(part)) : "") + "\n";
        },
        &out);
    g_object_unref(msg);
    g_object_unref(parser);
    g_object_unref(stream);
    return out;
}

struct Fixture : ::testing::Test {
    TempDir dir;
    testutil::FixedPlatform fixed;
    testutil::ScopedTz utc {"UTC"};

    std::unique_ptr<CMimeComposer> Composer(const std::string& html, const std::string& out = "out.eml") {
        auto c = std::make_unique<CMimeComposer>(fixed.Get());
        c->m_job.m_strHtmlPath = dir.Write("page.html", html);
        c->m_job.m_strOutputPath = dir.Path() + out;
        return c;
    }
};

using ComposedMessage = Fixture;

TEST_F(ComposedMessage, RelatedShapeByteForByte) {
    auto c = Composer("<html>\n<body>Hi</body>\n</html>\n");
    c->m_job.m_strFrom = "Ann <ann@example.com>";
    c->m_job.m_strTo = "Bob <bob@example.com>";
    c->m_job.m_strCc = "Cy <cy@example.com>";
    c->m_job.m_strSubject = "Hello";
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
    EXPECT_EQ(ReadFile(c->m_job.m_strOutputPath), want);
    EXPECT_EQ(CheckEml(c->m_job.m_strOutputPath, {"--html", c->m_job.m_strHtmlPath}), "");
}

TEST_F(ComposedMessage, MixedShapeByteForByte) {
    auto c = Composer("<html>\n<body>Hi</body>\n</html>\n");
    c->m_job.m_strFrom = "ann@example.com";
    c->m_job.m_strTo = "bob@example.com";
    c->m_job.m_listAttachments = {dir.Write("notes.txt", "ab")};
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
    EXPECT_EQ(ReadFile(c->m_job.m_strOutputPath), want);
}

// Text beyond ASCII in every header and file name, read back by Python's
// email package, GMime and mblaze: each must see what was typed.
TEST_F(ComposedMessage, NonAsciiTextReadsBackInThreeReaders) {
    const std::string zoe = "Zo\xc3\xab \xc3\x9cnder", uber = "\xc3\xbc" "ber.png";
    const std::string longName = "Men\xc3\xbc f\xc3\xbcr die n\xc3\xa4" "chste Woche, mit allen Gerichten und Preisen.txt";
    const std::string subject = "Zo\xc3\xab: " + std::string(3, ' ') + "\xe6\xbc\xa2\xe5\xad\x97, \xf0\x9f\x98\x80 and a "
                                "subject long enough to need several encoded-words, caf\xc3\xa9";
    auto c = Composer("<img src=\"" + uber + "\"><link href=\"plain.css\"><link href=\"latin.css\">");
    dir.Write(uber, "PNG");
    dir.Write("plain.css", "p{}");
    dir.Write("latin.css", "p{content:'\xe9'}");
    c->m_job.m_strFrom = zoe + " <zoe@ex\xc3\xa4mple.de>";
    c->m_job.m_strTo = "\"Doe, John\" <j@example.com>; ann@example.com, Gr\xc3\xbcppe: a@b.c, \xc3\x87" "a <c@d.e>;";
    c->m_job.m_strCc = "\xc3\x9cn\xc3\xaf" "code Name With A Rather Long Display Name \xc3\x84\xc3\xa4\xc3\xa4 <x@y.z>";
    c->m_job.m_strSubject = subject;
    c->m_job.m_listAttachments = {dir.Write(longName, "caf\xc3\xa9\n")};
    ASSERT_TRUE(c->Compose()) << c->GetLastError();
    EXPECT_TRUE(c->Warnings().empty());
    const std::string& eml = c->m_job.m_strOutputPath;
    std::string msg = ReadFile(eml);

    const std::string to = "\"Doe, John\" <j@example.com>, ann@example.com, Gr\xc3\xbcppe: a@b.c, \xc3\x87" "a <c@d.e>;";
    const std::string cc = "\xc3\x9cn\xc3\xaf" "code Name With A Rather Long Display Name \xc3\x84\xc3\xa4\xc3\xa4 <x@y.z>";
    EXPECT_EQ(CheckEml(eml, {"--header", "From: " + zoe + " <zoe@xn--exmple-cua.de>", "--header", "To: " + to, "--header",
                             "Cc: " + cc, "--header", "Subject: " + subject, "--part-name", "plain.css",
                             "--part-name", "latin.css", "--part-name", uber, "--part-name", longName, "--attach",
                             dir.Path() + longName}),
              "");
    EXPECT_EQ(ReadWithGMime(eml), "From: " + zoe + " <zoe@xn--exmple-cua.de>\nTo: " + to + "\nCc: " + cc +
                                      "\nSubject: " + subject +
                                      "\nMessage-ID: 202122232425262728292a2b2c2d2e2f@xn--exmple-cua.de\n"
                                      "part: \npart: plain.css\npart: latin.css\npart: " + uber + "\npart: " + longName + "\n");

    std::string out;
    std::string mshow = "MBLAZE=" + dir.Path() + " mshow -n ";
    ASSERT_EQ(RunCommand(mshow + "-q -h from:to:cc:subject " + eml, &out), 0) << out;
    // mblaze shows the space that must part an encoded-word from the ':' after it.
    std::string spaced = to;
    spaced.replace(spaced.find(": a@b.c"), 1, " :");
    EXPECT_EQ(out, "From: " + zoe + " <zoe@xn--exmple-cua.de>\nTo: " + spaced + "\nCc: " + cc + "\nSubject: " + subject + "\n");
    ASSERT_EQ(RunCommand(mshow + "-t " + eml, &out), 0) << out;
    EXPECT_NE(out.find("image/png size=3 name=\"" + uber + "\""), std::string::npos) << out;
    EXPECT_NE(out.find("text/plain size=6 name=\"" + longName + "\""), std::string::npos) << out;

    // Only text that is UTF-8 beyond ASCII names its charset.
    EXPECT_NE(msg.find("Content-Type: text/plain;\r\n\tcharset=\"utf-8\";\r\n\tname="), std::string::npos);
    EXPECT_NE(msg.find("Content-Type: text/css;\r\n\tname=\"plain.css\""), std::string::npos);
    EXPECT_NE(msg.find("Content-Type: text/css;\r\n\tname=\"latin.css\""), std::string::npos);
}

TEST_F(ComposedMessage, AttachmentsStreamWholeAndInOrder) {
    std::string big = testutil::RandomBytes(233472 * 2 + 3649, 3);  // crosses several read chunks
    auto c = Composer("<p>see attached</p>");
    std::string a1 = dir.Write("big.bin", big);
    std::string a2 = dir.Write("empty.dat", "");
    std::string a3 = dir.Write("one.txt", "x");
    std::string a4 = dir.Write("quote\"and\\slash.txt", "odd name");
    // A file of /proc reports no size but has content.
    c->m_job.m_listAttachments = {a1, a2, a3, a4, "/proc/version"};
    ASSERT_TRUE(c->Compose()) << c->GetLastError();
    EXPECT_EQ(CheckEml(c->m_job.m_strOutputPath, {"--html", c->m_job.m_strHtmlPath, "--attach", a1, "--attach", a2, "--attach", a3,
                                            "--attach", a4, "--attach", "/proc/version"}),
              "");
    std::string msg = ReadFile(c->m_job.m_strOutputPath);
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
        c->m_job.m_listAttachments.push_back(dir.Write(k.name, k.content));
        args.insert(args.end(), {"--attach", c->m_job.m_listAttachments.back()});
    }
    ASSERT_TRUE(c->Compose()) << c->GetLastError();
    std::string msg = ReadFile(c->m_job.m_strOutputPath);
    for (const Case& k : cases) {
        std::string header = "Content-Type: " + k.type + ";\r\n\tname=\"" + k.name +
                             "\"\r\nContent-Transfer-Encoding: " + k.encoding + "\r\n";
        EXPECT_NE(msg.find(header), std::string::npos) << k.name;
    }
    EXPECT_NE(msg.find("\r\n\r\n" + head + "body\r\n\r\n--"), std::string::npos);
    EXPECT_EQ(CheckEml(c->m_job.m_strOutputPath, args), "");
}

// The HTML body's base64 as it stands between its header and the boundary:
// line ends made CR LF (a lone CR stays), lines of 76, an empty page one empty line.
TEST_F(ComposedMessage, HtmlBodyBytes) {
    std::string x76;
    for (int i = 0; i < 19; ++i) x76 += "eHh4";
    const std::pair<std::string, std::string> cases[] = {
        {"a\nb\r\nc\rd\r\r\n", "YQ0KYg0KYw1kDQ0K\r\n"},
        {std::string(58, 'x'), x76 + "\r\neA==\r\n"},
        {"", "\r\n"},
    };
    for (const auto& [page, body] : cases) {
        auto c = Composer(page);
        ASSERT_TRUE(c->Compose()) << c->GetLastError();
        EXPECT_NE(ReadFile(c->m_job.m_strOutputPath).find("Content-Transfer-Encoding: base64\r\n\r\n" + body + "\r\n--"),
                  std::string::npos)
            << page;
    }
}

TEST_F(ComposedMessage, ProgressCountsBytesAndCanStopLeavingNothing) {
    BytesProgress progress;
    auto c = Composer("<p>x</p>");
    std::string big = dir.Write("big.bin", std::string(1 << 20, 'b'));
    c->m_job.m_listAttachments = {dir.Write("a.txt", "a"), big};
    c->m_job.m_pProgress = &progress;
    ASSERT_TRUE(c->Compose());
    EXPECT_EQ(progress.lastTotal, 8u + 1u + (1u << 20));
    EXPECT_EQ(progress.lastDone, progress.lastTotal);
    EXPECT_GT(progress.calls, 3) << "large files report as they go";

    BytesProgress stopping;
    stopping.stopAt = 100000;
    auto stopped = Composer("<p>x</p>", "stopped.eml");
    stopped->m_job.m_listAttachments = {big};
    stopped->m_job.m_pProgress = &stopping;
    EXPECT_FALSE(stopped->Compose());
    EXPECT_LT(stopping.lastDone, progress.lastTotal) << "it stops at the next buffer";
    EXPECT_EQ(ListFolder(dir.Path()).size(), 4u) << "page, a.txt, big.bin, out.eml: no other file, not even a temporary one";
}

TEST_F(ComposedMessage, HostNameAndBoundaryFallbacks) {
    const std::pair<const char*, const char*> hosts[] = {
        {"MyPC.Example.ORG", "mypc"}, {"a-very-long-hostname", "Quillnode"}, {"", "Quillnode"}};
    for (const auto& [name, want] : hosts) {
        fixed.host.name = name;
        EXPECT_STREQ(CMimeComposer(fixed.Get()).HostName(), want) << name;
    }
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
