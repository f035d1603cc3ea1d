#pragma once
// Shared helpers: temporary folders, file contents, fixed platform services and
// the independent MIME check.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace testutil {

// A fresh folder removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return m_path; }  // ends with '/'
    std::string Write(const std::string& name, const std::string& content) const;

private:
    std::string m_path;
};

std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
std::vector<std::string> ListFolder(const std::string& path);

class FixedClock : public platform::Clock {
public:
    std::time_t now = 1796514092;  // Sat, 05 Dec 2026 23:41:32 UTC
    std::uint32_t ticks = 0xABCDE;
    std::time_t Now() override { return now; }
    std::uint32_t TickCount() override { return ticks; }
    void SleepMs(unsigned) override {}
};

// Hands out 0x00, 0x01, ... so each boundary is predictable.
class CountingRandom : public platform::Random {
public:
    bool fail = false;
    unsigned char next = 0;
    int rnd = 1;
    bool Fill(void* buf, std::size_t n) override;
    int Next() override { return rnd++; }
};

class FixedHost : public platform::HostInfo {
public:
    std::string name = "testhost";
    bool fail = false;
    bool Name(std::string& out) override {
        out = name;
        return !fail;
    }
};

// Variables and configuration files given by the test; a file that is not in
// files is missing. Counts the reads of each path.
class FixedEnvironment : public platform::Environment {
public:
    std::map<std::string, std::string> vars;
    std::map<std::string, std::string> files;
    std::map<std::string, int> reads;
    bool GetVar(const std::string& name, std::string& value) override;
    bool ReadTextFile(const std::string& path, std::string& content, std::size_t maxBytes) override;
};

// The real file system, for a test that changes one of its calls.
struct PassThroughFiles : platform::FileSystem {
    platform::FileSystem& real = platform::RealFileSystem();
    std::unique_ptr<platform::InputFile> OpenRead(const std::string& p, std::string& e) override { return real.OpenRead(p, e); }
    std::unique_ptr<platform::OutputFile> CreateOutput(const std::string& t, platform::ReadOnlyTarget r,
                                                       std::string& e) override {
        return real.CreateOutput(t, r, e);
    }
    bool CheckFolder(const std::string& p, std::string& e) override { return real.CheckFolder(p, e); }
    bool IsReadableFile(const std::string& p) override { return real.IsReadableFile(p); }
    bool Resolve(const std::string& p, platform::ResolvedPath& o) override { return real.Resolve(p, o); }
    Entry ResolveEntry(const std::string& f, const std::string& n, platform::ResolvedPath& o) override {
        return real.ResolveEntry(f, n, o);
    }
};

struct FixedPlatform {
    FixedClock clock;
    CountingRandom random;
    FixedHost host;
    FixedEnvironment environment;
    platform::Platform Get(platform::FileSystem* fs = &platform::RealFileSystem()) {
        platform::Platform p;
        p.files = fs;
        p.clock = &clock;
        p.random = &random;
        p.host = &host;
        p.environment = &environment;
        return p;
    }
};

// Runs the independent MIME check (Python's email package) on a message.
// args: --html FILE, --resource FILE, --attach FILE ... Returns its report;
// empty means the message passed.
std::string CheckEml(const std::string& eml, const std::vector<std::string>& args);

// n bytes from a seeded generator: the same for the same seed.
std::string RandomBytes(std::size_t n, unsigned seed);
// Base64 text decoded; characters outside the alphabet are passed over.
std::string DecodeBase64(std::string_view text);
// The decoded body of the text/html part of a composed message.
std::string HtmlPartOf(const std::string& eml);
// The header block of the part whose Content-ID is cid.
std::string PartHeaderOf(const std::string& eml, const std::string& cid);

// Runs a command line through the shell; returns the exit status and output.
int RunCommand(const std::string& cmd, std::string* out = nullptr);

// Sets an environment variable for the life of the object; a change of TZ
// takes effect at once.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();

private:
    std::string m_name;
    std::string m_old;
    bool m_had;
};

// A desktop of its own in a temporary folder, for the life of the object:
// xdg-mime names htmlEntryId as the program for HTML pages (none when empty),
// and each entry written with AddEntry lies in its XDG data folder. xdg-mime
// names an entry only when the program of its first Exec line is in PATH.
class FakeDesktop {
public:
    explicit FakeDesktop(const std::string& htmlEntryId = "fakebrowser.desktop");
    // Writes applications/id with the given text in the user's or the system's data folder.
    void AddEntry(const std::string& id, const std::string& text, bool system = false);
    // Puts a program of that name, which does nothing, in a folder early in PATH.
    void AddProgram(const std::string& name);

private:
    TempDir m_dir;
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
};

struct ScopedTz : ScopedEnv {
    explicit ScopedTz(const char* tz) : ScopedEnv("TZ", tz) {}
};

} // namespace testutil
