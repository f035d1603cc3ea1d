// quillory-cli check as a user runs it: exit status, and --json against its schema.
#include <gtest/gtest.h>

#include "TestUtil.h"

namespace {

// A command that reads the report in file as strict UTF-8, as jq does, checks
// it against the schema, then runs the Python in then with the report as d.
std::string Validate(const std::string& file, const std::string& then = "") {
    return std::string(QUILLORY_PYTHON) + " -c 'import json,sys,jsonschema; d=json.loads(open(sys.argv[1], \"rb\")"
           ".read().decode(\"utf-8\")); jsonschema.validate(d, json.load(open(sys.argv[2])))" + then + "' " + file +
           " " + QUILLORY_SOURCE_DIR + "/docs/check-report.schema.json";
}

TEST(CheckCommand, ExitStatusAndJsonAgainstTheSchema) {
    testutil::TempDir dir;
    testutil::ScopedEnv config("XDG_CONFIG_HOME", dir.Path() + "config");
    dir.Write("a.png", "png");
    dir.Write("clean.html", "<img src=a.png alt=logo><img src=https://x.example/r.png alt=r>");
    // A byte that is not UTF-8, a quote and a backslash in values; a missing file;
    // a surrogate, overlong forms and a code point beyond U+10FFFF; terminal
    // escapes; a NUL that would cut the name to a.png.
    dir.Write("broken.html", "<img src=\"caf\xE9\\\".png\"><svg></svg><p style='background:url(x.png)'>"
                             "<img src=\"\xed\xa0\x80\xe0\x80\xaf\xf0\x80\x80\xaf\xf4\x90\x80\x80.png\">"
                             "<img src=\"\x1b]0;t\x07\x1b[2J.png\"><img src=\"a.png%00.txt\">");
    const struct {
        const char* args;
        int status;
        bool json;
        const char* has = "";  // in the report
        const char* env = "";  // before the command
    } runs[] = {
        {"check clean.html --no-spam", 0, false},
        {"check clean.html --json --no-spam", 0, true},
        {"check broken.html --no-spam", 1, false, "a.png%00.txt\"  error: missing file: a NUL"},
        // Kinds for programs, which the English may not be.
        {"check broken.html --json --attach a.png --no-spam", 1, true, "\"kinds\": [\"svg\"]"},
        {"check clean.html --attach gone.pdf --json", 1, true, "{\"kind\": \"cannot-compose\""},
        {"check", 2, false},
        {"check clean.html -o x.eml", 2, false},
        {"check clean.html --json=yes", 2, false},
        // Client support: chosen clients in their order, and never an error of its own.
        {"check clean.html --json --no-spam --clients 'outlook.w*,*.ios'", 0, true,
         "\"support\": [{\"client\": \"outlook.windows\", \"support\": "},
        {"check clean.html --clients nowhere.*", 2, false},
        // Without SpamAssassin: said once, and no change to the status.
        {"check clean.html", 0, false, "\nSpam: SpamAssassin is not installed: no spam verdict\n", "PATH=/nonexistent "},
        {"check clean.html --json", 0, true, "\"spam\": {\"state\": \"unavailable\"", "PATH=/nonexistent "},
    };
    for (const auto& run : runs) {
        std::string out;
        int rc = testutil::RunCommand("cd " + dir.Path() + " && " + run.env + QUILLORY_CLI + " " + run.args + " > out.txt", &out);
        std::string report = testutil::ReadFile(dir.Path() + "out.txt");
        EXPECT_EQ(rc, run.status) << run.args << "\n" << out << report;
        EXPECT_NE(report.find(run.has), std::string::npos) << run.args << "\n" << report;
        if (!run.json) {
            for (char c : report) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << report;
            continue;
        }
        EXPECT_EQ(testutil::RunCommand(Validate(dir.Path() + "out.txt"), &out), 0) << run.args << "\n" << out;
    }
    // Nothing written beside the page.
    EXPECT_FALSE(testutil::FileExists(dir.Path() + "clean.html.eml"));
}

// An image-only page with a shortened link: SpamAssassin scores the message
// as it would be sent, and lower with a text part.
TEST(CheckCommand, SpamAssassinScoresTheMessageAsSent) {
    if (testutil::RunCommand("command -v spamassassin >/dev/null") != 0)
        GTEST_SKIP() << "spamassassin is not installed: no verdict to test (scripts/bootstrap installs it)";
    testutil::TempDir dir;
    testutil::ScopedEnv config("XDG_CONFIG_HOME", dir.Path() + "config");
    dir.Write("spam.html", "<html><body><a href='https://bit.ly/3xYz12'><img src='http://example.com/banner.png' "
                           "width=600 height=400></a><p><a href='https://bit.ly/3xYz12'>bit.ly/3xYz12</a></body></html>");
    // The score, the threshold, then each rule with its hint, one per line.
    const std::string read = Validate("out.json", "; s=d[\"spam\"]; print(s[\"score\"], s[\"threshold\"]); "
                                                  "[print(r[\"name\"], r[\"hint\"]) for r in s[\"rules\"]]");
    double score[2] = {}, threshold = 0;
    for (int webmail = 0; webmail < 2; ++webmail) {
        std::string out;
        int rc = testutil::RunCommand("cd " + dir.Path() + " && " + QUILLORY_CLI +
                                          " check spam.html --json --subject 'Hello there' --from 'Ann <a@example.com>' "
                                          "--to 'Bob <b@example.com>'" + (webmail ? " --webmail" : "") +
                                          " > out.json && " + read,
                                      &out);
        ASSERT_EQ(rc, 0) << out;
        std::sscanf(out.c_str(), "%lf %lf", &score[webmail], &threshold);
        const bool htmlOnly = out.find("\nMIME_HTML_ONLY add a plain-text version") != std::string::npos;
        EXPECT_EQ(htmlOnly, !webmail) << out;
    }
    EXPECT_GE(score[0], threshold);
    EXPECT_LT(score[1], score[0]);
}

} // namespace
