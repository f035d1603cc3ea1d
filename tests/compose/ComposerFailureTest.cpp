// Runs that fail: the reason names the file, and nothing at the output path is
// lost or left half written.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "TestUtil.h"
#include "compose/MimeComposer.h"

namespace {

using testutil::ListFolder;
using testutil::ReadFile;
using testutil::TempDir;

// The real file system with faults switched on by the test.
class FaultyFileSystem : public platform::FileSystem {
public:
    std::int64_t writeBudget = -1;  // bytes until the disk is "full"; -1 = unlimited
    std::string shortReadPath;      // this file ends early
    std::uint64_t fakeHtmlSize = 0; // pretend the page is this big

    std::unique_ptr<platform::InputFile> OpenRead(const std::string& path, std::string& err) override {
        auto real = platform::RealFileSystem().OpenRead(path, err);
        if (!real) return real;
        if (path == shortReadPath || (fakeHtmlSize && path.ends_with(".html")))
            return std::make_unique<Input>(std::move(real), path == shortReadPath, fakeHtmlSize);
        return real;
    }
    std::unique_ptr<platform::OutputFile> CreateOutput(const std::string& target, std::string& err) override {
        auto real = platform::RealFileSystem().CreateOutput(target, err);
        if (!real) return real;
        return std::make_unique<Output>(std::move(real), this);
    }
    bool CheckFolder(const std::string& path, std::string& err) override {
        return platform::RealFileSystem().CheckFolder(path, err);
    }
    bool IsReadableFile(const std::string& path) override { return platform::RealFileSystem().IsReadableFile(path); }

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
        c->m_strHtmlPath = htmlPath;
        c->m_strOutputPath = previous;
        return c;
    }
    // The earlier message is intact and no temporary file is left beside it.
    void ExpectPreviousKept() {
        EXPECT_EQ(ReadFile(previous), "an earlier message\r\n");
        for (const std::string& name : ListFolder(dir.Path()))
            EXPECT_EQ(name.find(".out.eml."), std::string::npos) << "left behind: " << name;
    }
};

TEST_F(ComposerFailure, InputsThatAreRefusedAtOnce) {
    std::string page = dir.Write("page.html", "<p>x</p>");
    auto noHtml = Composer("");
    EXPECT_FALSE(noHtml->Compose());
    EXPECT_EQ(noHtml->GetLastError(), "no HTML file given");

    auto noOutput = Composer(page);
    noOutput->m_strOutputPath.clear();
    EXPECT_FALSE(noOutput->Compose());

    auto bare = Composer("page.html");
    EXPECT_FALSE(bare->Compose());
    EXPECT_NE(bare->GetLastError().find("page.html"), std::string::npos);

    auto noFolder = Composer(dir.Path() + "missing/page.html");
    EXPECT_FALSE(noFolder->Compose());
    EXPECT_EQ(noFolder->GetLastError(), "cannot open folder '" + dir.Path() + "missing/': No such file or directory");
    ExpectPreviousKept();
}

TEST_F(ComposerFailure, UnreadablePageKeepsTheEarlierMessage) {
    auto missing = Composer(dir.Path() + "nothere.html");
    EXPECT_FALSE(missing->Compose());
    EXPECT_EQ(missing->GetLastError(),
              "cannot open HTML file '" + dir.Path() + "nothere.html': No such file or directory");
    ExpectPreviousKept();

    dir.Write("folder.html/inside", "");
    auto folder = Composer(dir.Path() + "folder.html");
    EXPECT_FALSE(folder->Compose());
    EXPECT_NE(folder->GetLastError().find("Is a directory"), std::string::npos);

    faulty.shortReadPath = dir.Write("short.html", "<p>cut</p>");
    auto shortened = Composer(faulty.shortReadPath);
    EXPECT_FALSE(shortened->Compose());
    EXPECT_NE(shortened->GetLastError().find("cannot read HTML file"), std::string::npos);
    ExpectPreviousKept();
}

TEST_F(ComposerFailure, PagesOfTwoGigabytesAreRefusedBeforeLoading) {
    faulty.fakeHtmlSize = 0x80000000ull;
    auto c = Composer(dir.Write("huge.html", "<p>x</p>"));
    EXPECT_FALSE(c->Compose());
    EXPECT_NE(c->GetLastError().find("too large"), std::string::npos);
    ExpectPreviousKept();
}

TEST_F(ComposerFailure, OutputFolderMissing) {
    auto c = Composer(dir.Write("page.html", "<p>x</p>"));
    c->m_strOutputPath = dir.Path() + "no/such/out.eml";
    EXPECT_FALSE(c->Compose());
    EXPECT_NE(c->GetLastError().find("cannot create output file '" + dir.Path() + "no/such/out.eml'"),
              std::string::npos);
    EXPECT_FALSE(testutil::FileExists(c->m_strOutputPath));
}

TEST_F(ComposerFailure, AttachmentThatCannotBeOpenedFailsTheRun) {
    auto c = Composer(dir.Write("page.html", "<p>x</p>"));
    c->m_listAttachments = {dir.Write("ok.txt", "fine"), dir.Path() + "gone.pdf"};
    EXPECT_FALSE(c->Compose());
    EXPECT_EQ(c->GetLastError(), "cannot open attachment '" + dir.Path() + "gone.pdf': No such file or directory");
    ExpectPreviousKept();
}

TEST_F(ComposerFailure, AttachmentShortenedWhileReadFailsTheRun) {
    auto c = Composer(dir.Write("page.html", "<p>x</p>"));
    faulty.shortReadPath = dir.Write("growing.log", std::string(10000, 'z'));
    c->m_listAttachments = {faulty.shortReadPath};
    EXPECT_FALSE(c->Compose());
    EXPECT_NE(c->GetLastError().find("cannot read attachment '" + faulty.shortReadPath + "'"), std::string::npos);
    ExpectPreviousKept();
}

TEST_F(ComposerFailure, FullDiskAtAnyPointKeepsTheEarlierMessage) {
    std::string page = dir.Write("page.html", std::string(5000, 'h'));
    std::string attachment = dir.Write("data.bin", std::string(300000, 'd'));
    // Fail the first write, one in the HTML part, one in the attachment, the last.
    for (std::int64_t budget : {0, 1000, 100000, 410000}) {
        faulty.writeBudget = budget;
        auto c = Composer(page);
        c->m_listAttachments = {attachment};
        EXPECT_FALSE(c->Compose()) << "budget " << budget;
        EXPECT_EQ(c->GetLastError(), "cannot write output file '" + previous + "': No space left on device");
        ExpectPreviousKept();
    }
    faulty.writeBudget = -1;
    auto c = Composer(page);
    c->m_listAttachments = {attachment};
    EXPECT_TRUE(c->Compose()) << c->GetLastError();
    EXPECT_GT(ReadFile(previous).size(), 410000u) << "the budgets above must fall inside the message";
}

} // namespace
