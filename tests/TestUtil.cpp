#include "TestUtil.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace testutil {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/quillory-test-XXXXXX";
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    m_path = tmpl + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
    std::string path = m_path + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream f(path, std::ios::binary);
    f << content;
    return path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path)) names.push_back(e.path().filename().string());
    return names;
}

bool CountingRandom::Fill(void* buf, std::size_t n) {
    if (fail) return false;
    auto* p = static_cast<unsigned char*>(buf);
    for (std::size_t i = 0; i < n; ++i) p[i] = next++;
    return true;
}

bool FixedEnvironment::GetVar(const std::string& name, std::string& value) {
    auto it = vars.find(name);
    if (it == vars.end()) return false;
    value = it->second;
    return true;
}

bool FixedEnvironment::ReadTextFile(const std::string& path, std::string& content, std::size_t maxBytes) {
    ++reads[path];
    auto it = files.find(path);
    if (it == files.end() || it->second.size() > maxBytes) return false;
    content = it->second;
    return true;
}

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(gen());
    return s;
}

std::string DecodeBase64(std::string_view text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        std::size_t v = alphabet.find(c);
        if (v == std::string::npos) continue;  // line breaks and padding
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

std::string HtmlPartOf(const std::string& eml) {
    std::size_t at = eml.find("Content-Type: text/html;");
    if (at == std::string::npos) return "<no html part>";
    at = eml.find("\r\n\r\n", at) + 4;
    return DecodeBase64(std::string_view(eml).substr(at, eml.find("\r\n\r\n", at) - at));
}

std::string PartHeaderOf(const std::string& eml, const std::string& cid) {
    std::size_t at = eml.find("Content-ID: <" + cid + ">");
    if (at == std::string::npos) return "<no part " + cid + ">";
    std::size_t start = eml.rfind("\r\n--", at);
    return eml.substr(start + 2, eml.find("\r\n\r\n", at) - start - 2);
}

int RunCommand(const std::string& cmd, std::string* out) {
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return -1;
    std::string text;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    int status = pclose(p);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

static std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

std::string CheckEml(const std::string& eml, const std::vector<std::string>& args) {
    std::string cmd = std::string(QUILLORY_PYTHON) + " " + QUILLORY_CHECK_EML + " " + Quote(eml);
    for (const std::string& a : args) cmd += " " + Quote(a);
    std::string out;
    int rc = RunCommand(cmd, &out);
    if (rc == 0) return {};
    return out.empty() ? "checker exited with " + std::to_string(rc) : out;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : m_name(name) {
    const char* old = std::getenv(name);
    m_had = old != nullptr;
    if (old) m_old = old;
    setenv(name, value.c_str(), 1);
    tzset();
}

ScopedEnv::~ScopedEnv() {
    if (m_had) setenv(m_name.c_str(), m_old.c_str(), 1);
    else unsetenv(m_name.c_str());
    tzset();
}

FakeDesktop::FakeDesktop(const std::string& htmlEntryId) {
    auto set = [this](const char* name, const std::string& value) {
        m_env.push_back(std::make_unique<ScopedEnv>(name, value));
    };
    set("XDG_CURRENT_DESKTOP", "X-Generic");  // xdg-mime's own lookup, not a desktop's
    set("XDG_CONFIG_HOME", m_dir.Path() + "config");
    set("XDG_CONFIG_DIRS", m_dir.Path() + "etc");
    set("XDG_DATA_HOME", m_dir.Path() + "data");
    set("XDG_DATA_DIRS", m_dir.Path() + "system");
    const char* path = std::getenv("PATH");
    set("PATH", m_dir.Path() + "bin:" + (path ? path : "/usr/bin:/bin"));
    if (!htmlEntryId.empty())
        m_dir.Write("config/mimeapps.list", "[Default Applications]\ntext/html=" + htmlEntryId + ";\n");
}

void FakeDesktop::AddEntry(const std::string& id, const std::string& text, bool system) {
    m_dir.Write((system ? "system/applications/" : "data/applications/") + id, text);
}

void FakeDesktop::AddProgram(const std::string& name) {
    std::string path = m_dir.Write("bin/" + name, "#!/bin/sh\nexit 0\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

namespace {

// Each test gets a home of its own, so no test reads or writes the settings
// of the user who runs the tests, nor those of another test.
class PrivateHome : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override {
        m_home = std::make_unique<TempDir>();
        setenv("HOME", m_home->Path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_home->Path() + ".config").c_str(), 1);
    }
    void OnTestEnd(const ::testing::TestInfo&) override { m_home.reset(); }

private:
    std::unique_ptr<TempDir> m_home;
};

[[maybe_unused]] const bool kPrivateHome = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new PrivateHome);
    return true;
}();

} // namespace

} // namespace testutil
