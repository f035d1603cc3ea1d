#pragma once
// The per-user settings file: $XDG_CONFIG_HOME/quillory/quillory.conf, a key
// file in the desktop's format ("[Group]" lines, "Key=value" lines, '#'
// comments), read and written by GLib's GKeyFile. Comments and keys this
// program does not know survive every save.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Environment.h"

namespace platform {

// One reading of the file. Values set reach the file only when Commit
// succeeds; dropping the document without Commit discards them.
class SettingsDocument {
public:
    struct Impl;
    explicit SettingsDocument(std::unique_ptr<Impl> impl);
    ~SettingsDocument();

    // False when the key is missing, or its text is not valid (bad escapes,
    // not UTF-8), which is then added to Warnings(). Escapes (\n, \t, \\, \s)
    // come back as the characters they stand for.
    bool Get(const std::string& group, const std::string& key, std::string& value);
    // A ';'-separated list, "\;" standing for a ';' inside an item.
    bool GetList(const std::string& group, const std::string& key, std::vector<std::string>& list);
    void Set(const std::string& group, const std::string& key, const std::string& value);
    void SetList(const std::string& group, const std::string& key, const std::vector<std::string>& list);
    // Whether the file was there when it was read.
    bool Existed() const;
    // Writes the values set, if any, in one step. False with the reason when
    // the file could not be written; what it held before is then unchanged.
    bool Commit(std::string& err);
    const std::string& Path() const;
    // What was odd about the stored text, one line each, naming the file.
    const std::vector<std::string>& Warnings() const;
    // Adds a line to Warnings(), naming the file and the value it is about.
    void Warn(const std::string& group, const std::string& key, const std::string& what);

private:
    std::unique_ptr<Impl> m_pImpl;
};

class SettingsStore {
public:
    // A store kept in the given file; an empty path: the current user's file,
    // found afresh on every open so that a changed environment is honoured.
    explicit SettingsStore(std::string path = std::string()) : m_strPath(std::move(path)) {}

    // Empty when no home folder is known.
    std::string Path() const;
    // Reads the file as it is, without a lock. Null with err empty when there
    // is no file; null with the reason when it cannot be read. Only regular
    // files are read, and opening never waits (a FIFO is refused at once).
    std::unique_ptr<SettingsDocument> Read(std::string& err) const;
    // Reads the file afresh under an exclusive lock held until the document is
    // dropped, so that no other writer's save lands between this read and the
    // Commit. Null with the reason when the file cannot be read: a file this
    // program cannot parse is never written over.
    std::unique_ptr<SettingsDocument> Edit(std::string& err) const;

    // The settings file of earlier versions, beside this one, in the text
    // format of registry exports. When it exists and this store's file does
    // not, convert fills the new document from its text (false with the
    // reason when it cannot), the document is saved and the old file is
    // renamed to settings.reg.imported; it is never deleted. Returns what the
    // user should be told: empty when nothing was there to import.
    using Converter = std::function<bool(const std::string& text, const std::string& source,
                                         SettingsDocument& doc, std::string& err)>;
    std::string ImportOldFile(const Converter& convert) const;

private:
    std::string m_strPath;
};

// The store of the current user.
SettingsStore& RealSettingsStore();

// A store kept in the given file.
std::unique_ptr<SettingsStore> MakeFileSettingsStore(const std::string& path);

// Where the current user's settings file is; empty when no home folder is known.
std::string SettingsFilePath();
// The same, as the given environment describes the user.
std::string SettingsFilePath(Environment& env);

} // namespace platform
