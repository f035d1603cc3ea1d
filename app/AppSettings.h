#pragma once
// The values that survive between runs: the options and the header fields the
// user typed last. Plain C++ so that every front end shares it.
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/Keyring.h"
#include "platform/SettingsFile.h"
#include "smtp/Options.h"

// Groups for SaveSettings; they may be combined.
constexpr unsigned SETTINGS_OPTIONS = 8;
constexpr unsigned SETTINGS_MAIL = 16;

class AppSettings {
public:
    explicit AppSettings(platform::SettingsStore& store = platform::RealSettingsStore(),
                         platform::Keyring& keyring = platform::RealKeyring())
        : m_pStore(&store), m_pKeyring(&keyring) {}

    AppOptions options;
    MailFields mail;

    // Fills the records from the store, first carrying over the settings file
    // of earlier versions if that is still there. A value that is missing or
    // unusable leaves its field as it was; what was wrong with the stored data
    // is appended to warnings when given, and the file keeps it.
    void LoadSettings(std::vector<std::string>* warnings = nullptr);
    // Writes, in one step under the store's lock, the values of the groups in
    // mask that differ from what was last loaded or saved (or were marked
    // with Given): a value this program did not change is never written,
    // whether or not the file held it, so another writer's is never undone.
    // False with the reason when mask selects nothing or the store could not
    // be written.
    bool SaveSettings(unsigned mask, std::string& err);
    // Marks an option as set on purpose, so that the next save writes it even
    // when it equals what was loaded (a damaged stored value is then replaced).
    void Given(const OptionRow& row) { m_given.insert(row.key); }
    // True on the user's first start ([Window] FirstRun missing or not false), which it
    // records; true on every start when the store cannot be opened.
    bool TestAndClearFirstRun();

    // Where the password is kept: the keyring when there is one; otherwise
    // the settings file, as a sentence for the user ("in the keyring").
    enum class PasswordPlace { None, Keyring, File };
    PasswordPlace PasswordStoredIn() const { return m_passwordPlace; }
    std::string PasswordPlaceText() const;
    // Why the keyring was not used the last time it was tried, in printable form.
    std::string KeyringNote() const;

private:
    // Puts the password in the keyring, or keeps it in the file when there is
    // none; filePass is what the file's AuthPass must hold. False with the
    // reason when a keyring is there but refused it (locked, say).
    bool PlacePassword(std::string& filePass, std::string& err);

    platform::SettingsStore* m_pStore;
    platform::Keyring* m_pKeyring;
    PasswordPlace m_passwordPlace = PasswordPlace::None;
    std::string m_strKeyringNote;  // why the keyring was not used
    std::string m_strFilePass;     // the AuthPass the file holds
    std::string m_strPendingFilePass;  // what it will hold once the save lands
    AppOptions m_storedOptions;  // as last loaded or saved
    MailFields m_storedMail;
    std::set<std::string> m_given;
};

// A value of the settings file of earlier versions: its text, or its number.
struct OldSetting {
    bool bNumber = false;
    std::string text;
    std::int32_t number = 0;
};
// Looks a value up by its stored name; false when it is not there.
using OldSettings = std::function<bool(const std::string& name, OldSetting& value)>;
