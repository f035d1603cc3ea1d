// Runs that fail: the reason names the file, and nothing at the output path is
// lost or left half written.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "TestUtil.h"
#include "compose/MimeComposer.h"

namespace {

using testutil::ListFolder;
using testutil::ReadFile;
using testutil::TempDir;

// The real file system with faults switched on by the test.
class FaultyFileSystem : public testutil::PassThroughFiles {
public:
    std::int64_t writeBudget = -1;  // bytes until the disk is "full"; -1 = unlimited
    std::string shortReadPath;      // this file ends early
    std::uint64_t fakeHtmlSize = 0; // pretend the page is this big

    std::unique_ptr<platform::InputFile> OpenRead(const std::string& path, std::string& err) override {
        auto in = real.OpenRead(path, err);
        if (in && (path == shortReadPath || (fakeHtmlSize && path.ends_with(".html"))))
            return std::make_unique<Input>(std::move(in), path == shortReadPath, fakeHtmlSize);
        return in;
    }
    std::unique_ptr<platform::OutputFile> CreateOutput(const std::string& target, platform::ReadOnlyTarget readOnly,
                                                       std::string& err) override {
        auto out = real.CreateOutput(target, readOnly, err);
        return out ? std::make_unique<Output>(std::move(out), this) : nullptr;
    }

private:
    struct Input : platform::InputFile {
        Input(std::unique_ptr<platform::InputFile> r, bool s, std::uint64_t f) : real(std::move(r)), shortRead(s), fake(f) {}
        std::uint64_t Size() const override { return fake ? fake : real->Size() + (shortRead ? 100 : 0); }
        bool Read(void* b, std::size_t n, std::size_t& got, std::string& err) override {
            return real->Read(b, n, got, err);
        }
        std::unique_ptr<platform::InputFile> real;
        bool shortRead;
        std::uint64_t fake;
    };
    struct Output : platform::OutputFile {
        Output(std::unique_ptr<platform::OutputFile> r, FaultyFileSystem* o) : real(std::move(r)), owner(o) {}
        bool Write(const void* d, std::size_t n, std::string& err) override {
            if (owner->writeBudget >= 0) {
                if (static_cast<std::int64_t>(n) > owner->writeBudget) {
                    err = std::strerror(ENOSPC);
                    return false;
                }
                owner->writeBudget -= static_cast<std::int64_t>(n);
            }
            return real->Write(d, n, err);
        }
        bool Commit(std::string& err) override { return real->Commit(err); }
        std::unique_ptr<platform::OutputFile> real;
        FaultyFileSystem* owner;
    };
};

struct ComposerFailure : ::testing::Test {
    TempDir dir;
    testutil::FixedPlatform fixed;
    FaultyFileSystem faulty;
    std::string previous;  // a message from an earlier run at the output path

    void SetUp() override { previous = dir.Write("out.eml", "an earlier message\r\n"); }

    std::unique_ptr<CMimeComposer> Composer(const std::string& htmlPath) {
        auto c = std::make_unique<CMimeComposer>(fixed.Get(&faulty));
        c->m_job.m_strHtmlPath = htmlPath;
        c->m_job.m_strOutputPath = previous;
        return c;
    }
    // The earlier message is intact and no temporary file is left beside it.
    void ExpectPreviousKept() {
        EXPECT_EQ(ReadFile(previous), "an earlier message\r\n");
        for (const std::string& name : ListFolder(dir.Path()))
            EXPECT_EQ(name.find(".out.eml."), std::string::npos) << "left behind: " << name;
    }
};

// Each case fails with a reason naming the file, before a byte reaches the
// output path: inputs that are missing, not regular files, or the output itself.
TEST_F(ComposerFailure, InputsThatAreRefused) {
    const std::string d = dir.Path();
    std::string page = dir.Write("page.html", "<p>x</p><img src=\"logo.png\">");
    std::string logo = dir.Write("logo.png", "png");
    std::string note = dir.Write("note.txt", "note");
    std::string styled = dir.Write("styled.html", "<link rel=stylesheet href=style.css>");
    std::string sheet = dir.Write("style.css", "@import 'base.css';"), base = dir.Write("base.css", "p{}");
    dir.Write("folder.html/inside", "");
    ASSERT_EQ(::mkfifo((d + "fifo.html").c_str(), 0644), 0);
    ASSERT_EQ(::symlink(page.c_str(), (d + "link.eml").c_str()), 0);
    ASSERT_EQ(::link(note.c_str(), (d + "hard.eml").c_str()), 0);
    struct Case {
        std::string html;
        std::vector<std::string> attachments;
        std::string output;  // empty: the earlier message
        std::string error;
    } cases[] = {
        {"", {}, "", "no HTML file given"},
        {page, {}, "-none-", "no output file given"},
        {"page.html", {}, "", "HTML file 'page.html' is not given with its folder"},
        {d + "missing/page.html", {}, "", "cannot open folder '" + d + "missing/': No such file or directory"},
        {d + "nothere.html", {}, "", "cannot open HTML file '" + d + "nothere.html': No such file or directory"},
        {d + "folder.html", {}, "", "cannot open HTML file '" + d + "folder.html': Is a directory"},
        {d + "fifo.html", {}, "", "cannot open HTML file '" + d + "fifo.html': not a regular file"},
        {page, {note, d + "fifo.html"}, "", "cannot open attachment '" + d + "fifo.html': not a regular file"},
        {page, {"/dev/zero"}, "", "cannot open attachment '/dev/zero': not a regular file"},
        {page, {d + "gone.pdf"}, "", "cannot open attachment '" + d + "gone.pdf': No such file or directory"},
        {page, {}, d + "no/such/out.eml", "cannot create output file '" + d + "no/such/out.eml': No such file or directory"},
        {page, {}, page, "output file '" + page + "' is the HTML file itself"},
        {page, {}, d + "link.eml", "output file '" + d + "link.eml' is the HTML file itself"},
        {page, {}, logo, "output file '" + logo + "' is the resource file 'logo.png'"},
        {page, {note}, d + "hard.eml", "output file '" + d + "hard.eml' is the attachment '" + note + "'"},
        {styled, {}, sheet, "output file '" + sheet + "' is the style sheet '" + sheet + "'"},
        {styled, {}, base, "output file '" + base + "' is the style sheet '" + base + "'"},
    };
    for (const Case& c : cases) {
        auto composer = Composer(c.html);
        composer->m_job.m_listAttachments = c.attachments;
        composer->m_job.m_bPrepareForWebmail = true;  // which inlines the style sheets
        if (!c.output.empty()) composer->m_job.m_strOutputPath = c.output == "-none-" ? "" : c.output;
        EXPECT_FALSE(composer->Compose()) << c.error;
        EXPECT_EQ(composer->GetLastError(), c.error);
        ExpectPreviousKept();
    }
    EXPECT_EQ(ReadFile(page), "<p>x</p><img src=\"logo.png\">");
    EXPECT_EQ(ReadFile(logo), "png");
    EXPECT_EQ(ReadFile(note), "note");
    EXPECT_EQ(ReadFile(sheet) + ReadFile(base), "@import 'base.css';p{}");
}

TEST_F(ComposerFailure, ShortReadsFailTheRun) {
    faulty.shortReadPath = dir.Write("short.html", "<p>cut</p>");
    auto shortened = Composer(faulty.shortReadPath);
    EXPECT_FALSE(shortened->Compose());
    EXPECT_NE(shortened->GetLastError().find("cannot read HTML file"), std::string::npos);
    ExpectPreviousKept();

    auto c = Composer(dir.Write("page.html", "<p>x</p>"));
    faulty.shortReadPath = dir.Write("growing.log", std::string(10000, 'z'));
    c->m_job.m_listAttachments = {faulty.shortReadPath};
    EXPECT_FALSE(c->Compose());
    EXPECT_NE(c->GetLastError().find("cannot read attachment '" + faulty.shortReadPath + "'"), std::string::npos);
    ExpectPreviousKept();
}

TEST_F(ComposerFailure, PagesOfTwoGigabytesAreRefusedBeforeLoading) {
    faulty.fakeHtmlSize = 0x80000000ull;
    auto c = Composer(dir.Write("huge.html", "<p>x</p>"));
    EXPECT_FALSE(c->Compose());
    EXPECT_NE(c->GetLastError().find("too large"), std::string::npos);
    ExpectPreviousKept();
}

TEST_F(ComposerFailure, FullDiskAtAnyPointKeepsTheEarlierMessage) {
    std::string page = dir.Write("page.html", std::string(5000, 'h'));
    std::string attachment = dir.Write("data.bin", std::string(300000, 'd'));
    // Fail the first write, one in the HTML part, one in the attachment, the last.
    for (std::int64_t budget : {0, 1000, 100000, 410000}) {
        faulty.writeBudget = budget;
        auto c = Composer(page);
        c->m_job.m_listAttachments = {attachment};
        EXPECT_FALSE(c->Compose()) << "budget " << budget;
        EXPECT_EQ(c->GetLastError(), "cannot write output file '" + previous + "': No space left on device");
        ExpectPreviousKept();
    }
    faulty.writeBudget = -1;
    auto c = Composer(page);
    c->m_job.m_listAttachments = {attachment};
    EXPECT_TRUE(c->Compose()) << c->GetLastError();
    EXPECT_GT(ReadFile(previous).size(), 410000u) << "the budgets above must fall inside the message";
}

} // namespace
