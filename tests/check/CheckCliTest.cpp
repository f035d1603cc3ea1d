// quillory-cli check as a user runs it: exit status, and --json against its schema.
#include <gtest/gtest.h>

#include "TestUtil.h"

namespace {

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
    } runs[] = {
        {"check clean.html", 0, false},
        {"check clean.html --json", 0, true},
        {"check broken.html", 1, false, "a.png%00.txt\"  error: missing file: a NUL"},
        // Kinds for programs, which the English may not be.
        {"check broken.html --json --attach a.png", 1, true, "\"kinds\": [\"svg\"]"},
        {"check clean.html --attach gone.pdf --json", 1, true, "{\"kind\": \"cannot-compose\""},
        {"check", 2, false},
        {"check clean.html -o x.eml", 2, false},
        {"check clean.html --json=yes", 2, false},
        // Client support: chosen clients in their order, and never an error of its own.
        {"check clean.html --json --clients 'outlook.w*,*.ios'", 0, true,
         "\"support\": [{\"client\": \"outlook.windows\", \"support\": "},
        {"check clean.html --clients nowhere.*", 2, false},
    };
    const std::string schema = std::string(QUILLORY_SOURCE_DIR) + "/docs/check-report.schema.json";
    for (const auto& run : runs) {
        std::string out;
        int rc = testutil::RunCommand("cd " + dir.Path() + " && " + QUILLORY_CLI + " " + run.args + " > out.txt", &out);
        std::string report = testutil::ReadFile(dir.Path() + "out.txt");
        EXPECT_EQ(rc, run.status) << run.args << "\n" << out << report;
        EXPECT_NE(report.find(run.has), std::string::npos) << run.args << "\n" << report;
        if (!run.json) {
            for (char c : report) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << report;
            continue;
        }
        // Strict UTF-8, as jq reads it.
        rc = testutil::RunCommand(std::string(QUILLORY_PYTHON) +
                                      " -c 'import json,sys,jsonschema; jsonschema.validate(json.loads(open(sys.argv[1], "
                                      "\"rb\").read().decode(\"utf-8\")), json.load(open(sys.argv[2])))' " +
                                      dir.Path() + "out.txt " + schema,
                                  &out);
        EXPECT_EQ(rc, 0) << run.args << "\n" << out;
    }
    // Nothing written beside the page.
    EXPECT_FALSE(testutil::FileExists(dir.Path() + "clean.html.eml"));
}

} // namespace
