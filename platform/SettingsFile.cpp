// The settings key file. A save takes an exclusive lock on the file's folder,
// reads the file afresh (so values written meanwhile by another program are
// kept), writes a new file beside it and renames it over the old one: a failed
// save leaves the previous file as it was.
#include "platform/SettingsFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <fcntl.h>
#include <glib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/Ascii.h"
#include "platform/FileReplacement.h"
#include "platform/FileSystem.h"
#include "platform/XdgFolders.h"

namespace platform {
namespace {

// A settings file this large is not ours; refuse it rather than rewrite it.
const std::size_t kMaxFileSize = 16u << 20;
const int kLockWaitMs = 10000;
const GKeyFileFlags kKeepText = static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS);

std::string ErrnoText(int e) { return std::strerror(e); }

std::string FolderOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}


// 0: read; ENOENT: no file; otherwise the errno of the failure (EFBIG when
// too large, EINVAL when not a regular file: a FIFO is refused, not waited on).
int ReadWhole(const std::string& path, std::string& text) { return ReadConfigFile(path, text, kMaxFileSize); }

std::string ReadError(const std::string& path, int e) {
    if (e == EFBIG) return "'" + path + "' is larger than 16 MiB; it is not a settings file";
    if (e == EINVAL) return "'" + path + "' is not a regular file; it is not a settings file";
    return "cannot read '" + path + "': " + ErrnoText(e);
}

// GLib adds a new key after the blank line that ends its group, so each new
// key would leave one more blank line inside the group: a blank line right
// before a key is dropped. Blank lines before comments and groups stay.
std::string WithoutBlankBeforeKeys(const std::string& text) {
    std::string out;
    bool pendingBlank = false;
    for (std::size_t p = 0; p < text.size();) {
        std::size_t nl = text.find('\n', p);
        std::size_t end = nl == std::string::npos ? text.size() : nl + 1;
        std::string_view line(text.data() + p, end - p);
        p = end;
        if (line == "\n") {
            if (pendingBlank) out += '\n';
            pendingBlank = true;
            continue;
        }
        bool key = line[0] != '#' && line[0] != '[' && line.find('=') != std::string_view::npos;
        if (pendingBlank && !key) out += '\n';
        pendingBlank = false;
        out += line;
    }
    if (pendingBlank) out += '\n';
    return out;
}

struct KeyFileFree {
    void operator()(GKeyFile* f) const { g_key_file_free(f); }
};
struct ErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileFree>;

bool Missing(const GError* e) {
    return e->domain == G_KEY_FILE_ERROR &&
           (e->code == G_KEY_FILE_ERROR_KEY_NOT_FOUND || e->code == G_KEY_FILE_ERROR_GROUP_NOT_FOUND);
}

// GLib's messages quote the file's text, which may hold anything.
std::string Reason(const GError* e) {
    if (e->domain == G_KEY_FILE_ERROR && e->code == G_KEY_FILE_ERROR_UNKNOWN_ENCODING) return "it is not UTF-8 text";
    return ascii::Printable(e->message);
}

// Waits for the exclusive lock on folder; -1 with the reason when it cannot.
int LockFolder(const std::string& folder, std::string& err) {
    int lock = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock < 0) {
        err = "cannot open folder '" + folder + "': " + ErrnoText(errno);
        return -1;
    }
    for (int waited = 0; ::flock(lock, LOCK_EX | LOCK_NB) != 0; waited += 5) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= kLockWaitMs) {
            err = errno == EWOULDBLOCK ? "'" + folder + "' is locked by another program saving settings"
                                       : "cannot lock '" + folder + "': " + ErrnoText(errno);
            ::close(lock);
            return -1;
        }
        ::usleep(5000);
    }
    return lock;
}

} // namespace

struct SettingsDocument::Impl {
    std::string path;
    KeyFilePtr file{g_key_file_new()};
    bool existed = false;
    bool dirty = false;
    int lockFd = -1;  // closing it releases the flock
    std::vector<std::string> warnings;

    ~Impl() {
        if (lockFd >= 0) ::close(lockFd);
    }
};

SettingsDocument::SettingsDocument(std::unique_ptr<Impl> impl) : m_pImpl(std::move(impl)) {}
SettingsDocument::~SettingsDocument() = default;

bool SettingsDocument::Get(const std::string& group, const std::string& key, std::string& value) {
    GError* error = nullptr;
    char* text = g_key_file_get_string(m_pImpl->file.get(), group.c_str(), key.c_str(), &error);
    std::unique_ptr<GError, ErrorFree> owned(error);
    if (!text) {
        if (error && !Missing(error)) Warn(group, key, "the value cannot be read (" + Reason(error) + "); it is not used");
        return false;
    }
    value = text;
    g_free(text);
    return true;
}

bool SettingsDocument::GetList(const std::string& group, const std::string& key, std::vector<std::string>& list) {
    gsize n = 0;
    GError* error = nullptr;
    char** items = g_key_file_get_string_list(m_pImpl->file.get(), group.c_str(), key.c_str(), &n, &error);
    std::unique_ptr<GError, ErrorFree> owned(error);
    if (!items) {
        if (error && !Missing(error)) Warn(group, key, "the list cannot be read (" + Reason(error) + "); it is not used");
        return false;
    }
    list.assign(items, items + n);
    g_strfreev(items);
    return true;
}

void SettingsDocument::Set(const std::string& group, const std::string& key, const std::string& value) {
    g_key_file_set_string(m_pImpl->file.get(), group.c_str(), key.c_str(), value.c_str());
    m_pImpl->dirty = true;
}

void SettingsDocument::SetList(const std::string& group, const std::string& key, const std::vector<std::string>& list) {
    std::vector<const char*> items;
    for (const std::string& s : list) items.push_back(s.c_str());
    g_key_file_set_string_list(m_pImpl->file.get(), group.c_str(), key.c_str(), items.data(), items.size());
    m_pImpl->dirty = true;
}

bool SettingsDocument::Existed() const { return m_pImpl->existed; }
const std::string& SettingsDocument::Path() const { return m_pImpl->path; }
const std::vector<std::string>& SettingsDocument::Warnings() const { return m_pImpl->warnings; }

void SettingsDocument::Warn(const std::string& group, const std::string& key, const std::string& what) {
    m_pImpl->warnings.push_back(m_pImpl->path + ": [" + group + "] " + key + ": " + what);
}

bool SettingsDocument::Commit(std::string& err) {
    if (!m_pImpl->dirty) return true;
    gsize size = 0;
    char* text = g_key_file_to_data(m_pImpl->file.get(), &size, nullptr);
    std::string data = WithoutBlankBeforeKeys(std::string(text, size));
    g_free(text);
    // The file may hold the SMTP password: only its owner may read it.
    std::string why;
    auto file = FileReplacement::Begin(m_pImpl->path, ReplaceMode::Private, ReadOnlyTarget::Replace, why);
    if (!file) {
        err = "cannot save settings in '" + FolderOf(m_pImpl->path) + "': " + why;
        return false;
    }
    if (!file->Write(data.data(), data.size(), why) || !file->Commit(why)) {
        err = "cannot save settings to '" + m_pImpl->path + "': " + why;
        return false;
    }
    m_pImpl->dirty = false;
    m_pImpl->existed = true;
    return true;
}

namespace {

// Reads and parses path into a new document; null with the reason when it
// cannot be read or parsed. A missing file gives an empty document.
std::unique_ptr<SettingsDocument::Impl> Load(const std::string& path, std::string& err) {
    auto impl = std::make_unique<SettingsDocument::Impl>();
    impl->path = path;
    std::string text;
    int e = ReadWhole(path, text);
    if (e != 0 && e != ENOENT) {
        err = ReadError(path, e);
        return nullptr;
    }
    impl->existed = e == 0;
    GError* error = nullptr;
    if (!g_key_file_load_from_data(impl->file.get(), text.data(), text.size(), kKeepText, &error)) {
        err = "'" + path + "' cannot be read: " + Reason(error);
        g_error_free(error);
        return nullptr;
    }
    return impl;
}

} // namespace

std::string SettingsStore::Path() const { return m_strPath.empty() ? SettingsFilePath() : m_strPath; }

std::unique_ptr<SettingsDocument> SettingsStore::Read(std::string& err) const {
    std::string path = Path();
    if (path.empty()) {
        err = "no home folder is known for the settings file";
        return nullptr;
    }
    err.clear();
    std::unique_ptr<SettingsDocument::Impl> impl = Load(path, err);
    if (!impl || !impl->existed) return nullptr;
    return std::make_unique<SettingsDocument>(std::move(impl));
}

std::unique_ptr<SettingsDocument> SettingsStore::Edit(std::string& err) const {
    std::string given = Path();
    if (given.empty()) {
        err = "no home folder is known for the settings file";
        return nullptr;
    }
    std::string path = FinalPath(given);
    std::string folder = FolderOf(path);
    if (!MakeFolders(folder, err)) return nullptr;
    int lock = LockFolder(folder, err);
    if (lock < 0) return nullptr;
    // Read only under the lock, so a save made meanwhile elsewhere is not lost.
    std::unique_ptr<SettingsDocument::Impl> impl = Load(path, err);
    if (!impl) {
        ::close(lock);
        err += "; it is left as it is";
        return nullptr;
    }
    impl->lockFd = lock;
    return std::make_unique<SettingsDocument>(std::move(impl));
}

std::string SettingsStore::ImportOldFile(const Converter& convert) const {
    std::string path = Path();
    if (path.empty()) return std::string();
    const std::string old = FolderOf(path) + "/settings.reg";
    struct stat st {};
    // Cheap checks first: on every start but the first, nothing is there.
    if (::lstat(path.c_str(), &st) == 0 || ::lstat(old.c_str(), &st) != 0) return std::string();
    std::string err;
    std::unique_ptr<SettingsDocument> doc = Edit(err);
    if (!doc) return "'" + old + "' was not imported: " + err;
    if (doc->Existed()) return std::string();  // another program imported it meanwhile
    std::string text;
    if (int e = ReadWhole(old, text)) {
        if (e == ENOENT) return std::string();
        return ReadError(old, e) + "; it is left as it is";
    }
    if (!convert(text, old, *doc, err)) return "'" + old + "' cannot be imported (" + err + "); it is left as it is";
    if (!doc->Commit(err)) return "'" + old + "' was not imported: " + err;
    // Kept, under a name no version reads, in case something was not carried over.
    std::string target = old + ".imported";
    for (int n = 1; ::renameat2(AT_FDCWD, old.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0; ++n) {
        if (errno != EEXIST || n > 100)
            return "'" + old + "' was imported into '" + path + "' but could not be renamed: " + ErrnoText(errno);
        target = old + ".imported." + std::to_string(n);
    }
    return "the settings of '" + old + "' now live in '" + path + "'; the old file is kept as '" + target + "'";
}

std::unique_ptr<SettingsStore> MakeFileSettingsStore(const std::string& path) {
    return std::make_unique<SettingsStore>(path);
}

SettingsStore& RealSettingsStore() {
    static SettingsStore store;
    return store;
}

std::string SettingsFilePath() { return SettingsFilePath(RealEnvironment()); }

std::string SettingsFilePath(Environment& env) {
    std::string base = XdgConfigHome(env);
    return base.empty() ? base : base + "/quillory/quillory.conf";
}

} // namespace platform
