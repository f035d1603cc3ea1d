#include "app/AppSettings.h"

#include "app/WindowState.h"
#include "core/Ascii.h"
#include "platform/RegDocument.h"

namespace {

const char kMessageGroup[] = "Message";

// Reads one option; a value that does not check is reported with what is used instead.
void LoadOption(platform::SettingsDocument& doc, const OptionRow& row, AppOptions& options) {
    std::string text, why;
    if (!doc.Get(row.group, row.key, text) || ParseOption(row, text, options, why)) return;
    std::string used = FormatOption(row, options);
    doc.Warn(row.group, row.key, "takes " + why + "; " + (used.empty() ? "nothing" : "'" + used + "'") +
                                     " is used instead, and the file keeps its value");
}

// The value an option of the old file had, as the new file writes it.
std::string OldOptionText(const OptionRow& row, const OldSetting& v) {
    if (!v.bNumber) return v.text;
    const char* word = row.kind == OptionKind::Security     ? SecurityName(v.number)
                       : row.kind == OptionKind::AuthMethod ? AuthMethodName(v.number)
                                                            : nullptr;
    if (row.kind == OptionKind::Flag) return v.number ? "true" : "false";
    return word ? word : std::to_string(v.number);
}

const char kOldKey[] = "HKEY_CURRENT_USER\\Software\\Quillory\\Options";

// Carries every value of the old file over, in the groups and forms of the new one.
bool ImportOld(const std::string& text, const std::string& source, platform::SettingsDocument& doc,
               std::string& err) {
    platform::RegDocument reg;
    reg.Parse(text, source);
    if (!reg.Unreadable().empty()) {
        err = reg.Unreadable();
        return false;
    }
    if (!reg.HasKey(kOldKey)) {
        err = std::string("it has no key [") + kOldKey + "]";
        return false;
    }
    OldSettings old = [&reg](const std::string& name, OldSetting& v) {
        platform::RegDocument::Found f;
        if (!reg.Find(kOldKey, name, f)) return false;
        v.bNumber = f.kind == platform::REG_DWORD;
        if (v.bNumber) {
            std::uint32_t n = 0;
            for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(f.data[i]);
            v.number = static_cast<std::int32_t>(n);
        } else {
            v.text = f.data.substr(0, f.data.find('\0'));
        }
        return true;
    };
    OldSetting v;
    for (const OptionRow& row : OptionRows())
        if (old(row.key, v)) doc.Set(row.group, row.key, OldOptionText(row, v));
    for (const MailFieldRow& row : MailFieldRows())
        if (old(row.key, v)) doc.Set(kMessageGroup, row.key, v.bNumber ? std::to_string(v.number) : v.text);
    WindowState::ImportOld(old, doc);
    return true;
}

} // namespace

void AppSettings::LoadSettings(std::vector<std::string>* warnings) {
    std::string note = m_pStore->ImportOldFile(ImportOld);
    if (!note.empty() && warnings) warnings->push_back(note);
    std::string err;
    std::unique_ptr<platform::SettingsDocument> doc = m_pStore->Read(err);
    m_given.clear();
    if (!doc) {
        if (!err.empty() && warnings) warnings->push_back(err);
    } else {
        for (const OptionRow& row : OptionRows()) LoadOption(*doc, row, options);
        for (const MailFieldRow& row : MailFieldRows()) doc->Get(kMessageGroup, row.key, mail.*row.member);
        if (warnings) warnings->insert(warnings->end(), doc->Warnings().begin(), doc->Warnings().end());
    }
    m_strFilePass = options.AuthPass;
    m_passwordPlace = m_strFilePass.empty() ? PasswordPlace::None : PasswordPlace::File;
    if (m_strFilePass.empty() && !options.AuthName.empty()) {
        std::string secret;
        platform::KeyringResult r = m_pKeyring->Lookup(
            {options.SmtpServer, options.SmtpPort, options.AuthName}, secret, m_strKeyringNote);
        if (r == platform::KeyringResult::Ok) {
            options.AuthPass = secret;
            m_passwordPlace = PasswordPlace::Keyring;
        } else if (r == platform::KeyringResult::Failed && warnings) {
            warnings->push_back("the password could not be read from the keyring: " + m_strKeyringNote);
        }
    }
    m_storedOptions = options;
    m_storedMail = mail;
}

bool AppSettings::SaveSettings(unsigned mask, std::string& err) {
    if ((mask & (SETTINGS_OPTIONS | SETTINGS_MAIL)) == 0) {
        err = "no group of settings selected";
        return false;
    }
    // The password first: a keyring that refuses it stops the save.
    if ((mask & SETTINGS_OPTIONS) && !PlacePassword(m_strPendingFilePass, err)) return false;
    std::unique_ptr<platform::SettingsDocument> doc = m_pStore->Edit(err);
    if (!doc) return false;
    if (mask & SETTINGS_OPTIONS) {
        // The file holds the password only when no keyring took it.
        AppOptions now = options, before = m_storedOptions;
        now.AuthPass = m_strPendingFilePass;
        before.AuthPass = m_strFilePass;
        for (const OptionRow& row : OptionRows()) {
            std::string text = FormatOption(row, now);
            if (text != FormatOption(row, before) || m_given.count(row.key)) doc->Set(row.group, row.key, text);
        }
    }
    if (mask & SETTINGS_MAIL) {
        for (const MailFieldRow& row : MailFieldRows())
            if (mail.*row.member != m_storedMail.*row.member) doc->Set(kMessageGroup, row.key, mail.*row.member);
    }
    if (!doc->Commit(err)) return false;
    if (mask & SETTINGS_OPTIONS) {
        m_storedOptions = options;
        m_strFilePass = m_strPendingFilePass;
        m_given.clear();
    }
    if (mask & SETTINGS_MAIL) m_storedMail = mail;
    return true;
}

bool AppSettings::PlacePassword(std::string& filePass, std::string& err) {
    const AppOptions& o = options;
    const AppOptions& b = m_storedOptions;
    const platform::SecretKey key{o.SmtpServer, o.SmtpPort, o.AuthName};
    const bool keyMoved = o.SmtpServer != b.SmtpServer || o.SmtpPort != b.SmtpPort || o.AuthName != b.AuthName;
    // Nothing to do unless the password, what it is filed under, or its place
    // in the file has to change.
    filePass = m_strFilePass;
    if (o.AuthPass == b.AuthPass && !keyMoved && m_strFilePass.empty()) return true;
    // The file's copy goes only once the keyring has confirmed the write; only
    // a keyring that is not there at all leaves the password to the file.
    platform::KeyringResult r = platform::KeyringResult::NotFound;
    if (!o.AuthPass.empty()) r = m_pKeyring->Store(key, o.AuthPass, m_strKeyringNote);
    if (r == platform::KeyringResult::Failed) {
        err = "the keyring did not take the password: " + m_strKeyringNote;
        return false;
    }
    std::string ignored;
    if (keyMoved && m_passwordPlace == PasswordPlace::Keyring)
        m_pKeyring->Remove({b.SmtpServer, b.SmtpPort, b.AuthName}, ignored);
    if (o.AuthPass.empty()) {
        if (!keyMoved) m_pKeyring->Remove(key, ignored);
        m_passwordPlace = PasswordPlace::None;
        filePass.clear();
        return true;
    }
    m_passwordPlace = r == platform::KeyringResult::Ok ? PasswordPlace::Keyring : PasswordPlace::File;
    filePass = r == platform::KeyringResult::Ok ? std::string() : o.AuthPass;
    return true;
}

std::string AppSettings::PasswordPlaceText() const {
    switch (m_passwordPlace) {
    case PasswordPlace::Keyring: return "in the keyring";
    case PasswordPlace::File:
        return "in the settings file" + (m_strKeyringNote.empty() ? std::string() : " (no keyring: " + KeyringNote() + ")");
    case PasswordPlace::None: break;
    }
    return "nowhere: no password is saved";
}

std::string AppSettings::KeyringNote() const { return ascii::Printable(m_strKeyringNote); }

bool AppSettings::TestAndClearFirstRun() {
    std::string err, flag;
    std::unique_ptr<platform::SettingsDocument> doc = m_pStore->Edit(err);
    if (!doc) return true;
    bool first = !doc->Get("Window", "FirstRun", flag) || flag != "false";
    if (first) doc->Set("Window", "FirstRun", "false");
    doc->Commit(err);  // if it cannot be recorded, the next start is a first one again
    return first;
}
