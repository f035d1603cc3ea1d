// quillory-cli check as a user runs it: exit status, and --json against its schema.
#include <gtest/gtest.h>

#include "TestUtil.h"

namespace {

TEST(CheckCommand, ExitStatusAndJsonAgainstTheSchema) {
    testutil::TempDir dir;
    testutil::ScopedEnv config("XDG_CONFIG_HOME", dir.Path() + "config");
    dir.Write("a.png", "png");
    dir.Write("clean.html", "<img src=a.png alt=logo><img src=https://x.example/r.png alt=r>");
    // A byte that is not UTF-8, a quote and a backslash in values; a missing file.
    dir.Write("broken.html", "<img src=\"caf\xE9\\\".png\"><svg></svg><p style='background:url(x.png)'>");
    const struct {
        const char* args;
        int status;
        bool json;
    } runs[] = {
        {"check clean.html", 0, false},
        {"check clean.html --json", 0, true},
        {"check broken.html", 1, false},
        {"check broken.html --json --attach a.png", 1, true},
        {"check clean.html --attach gone.pdf --json", 1, true},
        {"check", 2, false},
        {"check clean.html -o x.eml", 2, false},
        {"check clean.html --json=yes", 2, false},
    };
    const std::string schema = std::string(QUILLORY_SOURCE_DIR) + "/docs/check-report.schema.json";
    for (const auto& run : runs) {
        std::string out;
        int rc = testutil::RunCommand("cd " + dir.Path() + " && " + QUILLORY_CLI + " " + run.args + " > out.txt", &out);
        EXPECT_EQ(rc, run.status) << run.args << "\n" << out << testutil::ReadFile(dir.Path() + "out.txt");
        if (!run.json) continue;
        rc = testutil::RunCommand(std::string(QUILLORY_PYTHON) +
                                      " -c 'import json,sys,jsonschema; jsonschema.validate(json.load(open(sys.argv[1]))"
                                      ", json.load(open(sys.argv[2])))' " +
                                      dir.Path() + "out.txt " + schema,
                                  &out);
        EXPECT_EQ(rc, 0) << run.args << "\n" << out;
    }
    // Nothing written beside the page.
    EXPECT_FALSE(testutil::FileExists(dir.Path() + "clean.html.eml"));
}

} // namespace
