// The settings store kept in one REGEDIT4 text file. A save takes an exclusive
// lock on the file's folder, reads the file afresh (so values written meanwhile
// by another program are kept), writes a new file beside it and renames it over
// the old one: a failed save leaves the previous file as it was.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileReplacement.h"
#include "platform/RegDocument.h"
#include "platform/SettingsStore.h"
#include "platform/XdgFolders.h"

namespace platform {
namespace {

const char kRootPrefix[] = "HKEY_CURRENT_USER\\";
// A settings file this large is not ours; refuse it rather than rewrite it.
const std::size_t kMaxFileSize = 16u << 20;
const int kLockWaitMs = 10000;

std::string ErrnoText(int e) { return std::strerror(e); }

std::string FolderOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

// Creates the folder and any missing parents, private to the user.
bool MakeFolders(const std::string& folder, std::string& err) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        err = "'" + folder + "' is not a folder";
        return false;
    }
    std::string parent = FolderOf(folder);
    if (parent != folder && !MakeFolders(parent, err)) return false;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        err = "cannot create folder '" + folder + "': " + ErrnoText(errno);
        return false;
    }
    return true;
}

// 0: read; ENOENT: no file; otherwise the errno of the failure (EFBIG when too large).
int ReadWhole(const std::string& path, std::string& text) {
    text.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat st {};
    int e = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : S_ISREG(st.st_mode) ? 0 : EINVAL;
    if (e != 0) {
        ::close(fd);
        return e;
    }
    char buf[65536];
    for (;;) {
        ssize_t r = ::read(fd, buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            int e = errno;
            ::close(fd);
            return e;
        }
        if (r == 0) break;
        text.append(buf, static_cast<std::size_t>(r));
        if (text.size() > kMaxFileSize) {
            ::close(fd);
            return EFBIG;
        }
    }
    ::close(fd);
    return 0;
}

std::string ReadError(const std::string& path, int e) {
    if (e == EFBIG) return "'" + path + "' is larger than 16 MiB; it is not a settings file";
    return "cannot read '" + path + "': " + ErrnoText(e);
}

class FileSettingsKey : public SettingsKey {
public:
    FileSettingsKey(std::string path, std::string key, RegDocument doc, int lockFd)
        : m_strPath(std::move(path)), m_strKey(std::move(key)), m_doc(std::move(doc)), m_fdLock(lockFd) {
        m_listWarnings = m_doc.Warnings();
    }
    ~FileSettingsKey() override { Unlock(); }

    bool QueryString(const std::string& name, std::string& value) override {
        RegDocument::Found f;
        if (!m_doc.Find(m_strKey, name, f)) return false;
        if (f.kind != REG_SZ) return WrongKind(f, name, "a string");
        value = f.data;
        if (!value.empty() && value.back() == '\0') value.pop_back();
        return true;
    }
    bool QueryDword(const std::string& name, std::uint32_t& value) override {
        RegDocument::Found f;
        if (!m_doc.Find(m_strKey, name, f)) return false;
        if (f.kind != REG_DWORD || f.data.size() != 4) return WrongKind(f, name, "a dword");
        value = 0;
        for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(f.data[i]);
        return true;
    }
    void SetString(const std::string& name, const std::string& value) override {
        m_doc.SetString(m_strKey, name, value);
        m_bDirty = true;
    }
    void SetDword(const std::string& name, std::uint32_t value) override {
        m_doc.SetDword(m_strKey, name, value);
        m_bDirty = true;
    }
    bool Close(std::string& err) override {
        bool ok = !m_bDirty || Write(err);
        m_bDirty = false;
        Unlock();
        return ok;
    }
    std::vector<std::string> Warnings() const override { return m_listWarnings; }

private:
    bool WrongKind(const RegDocument::Found& f, const std::string& name, const char* expected) {
        m_listWarnings.push_back(m_strPath + ":" + std::to_string(f.line) + ": value \"" + name + "\" is not " +
                                 expected + "; it is not used");
        return false;
    }

    bool Write(std::string& err) {
        std::string text = m_doc.Serialize();
        // The file holds the SMTP password: only its owner may read it.
        std::string why;
        auto file = FileReplacement::Begin(m_strPath, ReplaceMode::Private, ReadOnlyTarget::Replace, why);
        if (!file) {
            err = "cannot save settings in '" + FolderOf(m_strPath) + "': " + why;
            return false;
        }
        if (!file->Write(text.data(), text.size(), why) || !file->Commit(why)) {
            err = "cannot save settings to '" + m_strPath + "': " + why;
            return false;
        }
        return true;
    }

    void Unlock() {
        if (m_fdLock >= 0) ::close(m_fdLock);  // closing releases the flock
        m_fdLock = -1;
    }

    std::string m_strPath;
    std::string m_strKey;
    RegDocument m_doc;
    int m_fdLock;
    bool m_bDirty = false;
    std::vector<std::string> m_listWarnings;
};

class FileSettingsStore : public SettingsStore {
public:
    explicit FileSettingsStore(std::string path) : m_strPath(std::move(path)) {}

    std::unique_ptr<SettingsKey> OpenForQuery(const std::string& key, std::string& err) override {
        std::string text;
        if (int e = ReadWhole(m_strPath, text)) {
            err = e == ENOENT ? std::string() : ReadError(m_strPath, e);
            return nullptr;
        }
        RegDocument doc;
        doc.Parse(text, m_strPath);
        std::string full = kRootPrefix + key;
        if (!doc.HasKey(full)) {
            err = "'" + m_strPath + "' has no key [" + full + "]";
            // Still worth telling what was wrong with the file.
            for (const std::string& w : doc.Warnings()) err += "\n" + w;
            return nullptr;
        }
        return std::make_unique<FileSettingsKey>(m_strPath, full, std::move(doc), -1);
    }

    std::unique_ptr<SettingsKey> CreateForSetting(const std::string& key, std::string& err) override {
        std::string path = FinalPath(m_strPath);
        std::string folder = FolderOf(path);
        if (!MakeFolders(folder, err)) return nullptr;
        int lock = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (lock < 0) {
            err = "cannot open folder '" + folder + "': " + ErrnoText(errno);
            return nullptr;
        }
        int waited = 0;
        while (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= kLockWaitMs) {
                err = errno == EWOULDBLOCK ? "'" + folder + "' is locked by another program saving settings"
                                           : "cannot lock '" + folder + "': " + ErrnoText(errno);
                ::close(lock);
                return nullptr;
            }
            ::usleep(5000);
            waited += 5;
        }
        // Read only under the lock, so a save made meanwhile elsewhere is not lost.
        std::string text;
        int e = ReadWhole(path, text);
        if (e != 0 && e != ENOENT) {
            err = ReadError(path, e);
            ::close(lock);
            return nullptr;
        }
        RegDocument doc;
        doc.Parse(text, path);
        if (!doc.Unreadable().empty()) {
            // Writing it back would add to text that nothing can read.
            err = "'" + path + "' cannot be read (" + doc.Unreadable() + "); it is left as it is";
            ::close(lock);
            return nullptr;
        }
        return std::make_unique<FileSettingsKey>(path, kRootPrefix + key, std::move(doc), lock);
    }

private:
    std::string m_strPath;
};

class UserSettingsStore : public SettingsStore {
public:
    std::unique_ptr<SettingsKey> OpenForQuery(const std::string& key, std::string& err) override {
        std::unique_ptr<SettingsStore> store = Store(err);
        return store ? store->OpenForQuery(key, err) : nullptr;
    }
    std::unique_ptr<SettingsKey> CreateForSetting(const std::string& key, std::string& err) override {
        std::unique_ptr<SettingsStore> store = Store(err);
        return store ? store->CreateForSetting(key, err) : nullptr;
    }

private:
    static std::unique_ptr<SettingsStore> Store(std::string& err) {
        std::string path = SettingsFilePath();
        if (path.empty()) {
            err = "no home folder is known for the settings file";
            return nullptr;
        }
        return MakeFileSettingsStore(path);
    }
};

} // namespace

std::unique_ptr<SettingsStore> MakeFileSettingsStore(const std::string& path) {
    return std::make_unique<FileSettingsStore>(path);
}

SettingsStore& RealSettingsStore() {
    static UserSettingsStore store;
    return store;
}

std::string SettingsFilePath() { return SettingsFilePath(RealEnvironment()); }

std::string SettingsFilePath(Environment& env) {
    std::string base = XdgConfigHome(env);
    return base.empty() ? base : base + "/quillory/settings.reg";
}

} // namespace platform
