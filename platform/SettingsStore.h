#pragma once
// The per-user key/value store that keeps the program's settings between runs.
// Keys are paths below the current user's root ("Software\Quillory\Options");
// values are strings or 32-bit integers. Tests substitute their own store.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Environment.h"

namespace platform {

// One open key. Changes made with the Set calls reach the store only when
// Close succeeds; dropping the key without Close discards them.
class SettingsKey {
public:
    virtual ~SettingsKey() = default;
    // False when the value is missing or holds another kind of data.
    virtual bool QueryString(const std::string& name, std::string& value) = 0;
    virtual bool QueryDword(const std::string& name, std::uint32_t& value) = 0;
    virtual void SetString(const std::string& name, const std::string& value) = 0;
    virtual void SetDword(const std::string& name, std::uint32_t value) = 0;
    // Writes the changes, if any, as one step. False with the reason when the
    // store could not be written; what was stored before is then unchanged.
    virtual bool Close(std::string& err) = 0;
    // What was odd about the stored data, one line each, naming where it is.
    virtual std::vector<std::string> Warnings() const = 0;
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Opens an existing key for querying. Null when there is no store yet (err
    // empty), or when the key is missing or cannot be read (err says why).
    virtual std::unique_ptr<SettingsKey> OpenForQuery(const std::string& key, std::string& err) = 0;
    // Opens a key for setting, creating it when needed. While it is open no
    // other writer of the same store can change it.
    virtual std::unique_ptr<SettingsKey> CreateForSetting(const std::string& key, std::string& err) = 0;
};

// The store of the current user: $XDG_CONFIG_HOME/quillory/settings.reg,
// found afresh on every open so that a changed environment is honoured.
SettingsStore& RealSettingsStore();

// A store kept in the given file, in the REGEDIT4 text format.
std::unique_ptr<SettingsStore> MakeFileSettingsStore(const std::string& path);

// Where the current user's settings file is; empty when no home folder is known.
std::string SettingsFilePath();
// The same, as the given environment describes the user.
std::string SettingsFilePath(Environment& env);

} // namespace platform
