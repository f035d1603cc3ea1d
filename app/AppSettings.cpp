#include "app/AppSettings.h"

const char AppSettings::kKey[] = "Software\\Quillory\\Options";

namespace {

template <typename T>
void QueryInt(platform::SettingsKey& key, const char* name, T& field, std::set<std::string>& known) {
    std::uint32_t v;
    if (!key.QueryDword(name, v)) return;
    field = static_cast<T>(static_cast<std::int32_t>(v));
    known.insert(name);
}

void QueryText(platform::SettingsKey& key, const char* name, std::string& field, std::set<std::string>& known) {
    std::string v;
    if (!key.QueryString(name, v)) return;
    field = std::move(v);
    known.insert(name);
}

// Writes one value when it differs from what the store held, or when what the
// store held is not known (missing, damaged, or never read).
template <typename T>
void SetIfChanged(platform::SettingsKey& key, const char* name, const T& now, const T& before,
                  const std::set<std::string>& known) {
    if (now == before && known.count(name)) return;
    if constexpr (std::is_same_v<T, std::string>) key.SetString(name, now);
    else key.SetDword(name, static_cast<std::uint32_t>(static_cast<std::int32_t>(now)));
}

const char* const kOptionNames[] = {"BrowseOutputFolder", "OpenEml",      "SmtpServer", "SmtpPort",
                                    "SrvReqAuth",         "AuthName",     "AuthPass",   "SmtpSecurity",
                                    "AuthMethod",         "OAuthTokenCommand", "PrepareForWebmail"};
const char* const kMailNames[] = {"MailFrom", "MailTo", "MailCc", "MailSubject"};

} // namespace

void AppSettings::LoadSettings(std::vector<std::string>* warnings) {
    std::string err;
    std::unique_ptr<platform::SettingsKey> key = m_pStore->OpenForQuery(kKey, err);
    m_known.clear();
    if (!key) {
        // The reason may tell several things, one per line.
        for (std::size_t p = 0; warnings && p < err.size();) {
            std::size_t nl = err.find('\n', p);
            if (nl == std::string::npos) nl = err.size();
            warnings->push_back(err.substr(p, nl - p));
            p = nl + 1;
        }
    } else {
        QueryInt(*key, "BrowseOutputFolder", options.BrowseOutputFolder, m_known);
        QueryInt(*key, "OpenEml", options.OpenEml, m_known);
        QueryInt(*key, "PrepareForWebmail", options.PrepareForWebmail, m_known);
        QueryText(*key, "SmtpServer", options.SmtpServer, m_known);
        QueryInt(*key, "SmtpPort", options.SmtpPort, m_known);
        QueryInt(*key, "SrvReqAuth", options.SrvReqAuth, m_known);
        QueryText(*key, "AuthName", options.AuthName, m_known);
        QueryText(*key, "AuthPass", options.AuthPass, m_known);
        QueryInt(*key, "AuthMethod", options.AuthMethod, m_known);
        QueryText(*key, "OAuthTokenCommand", options.OAuthTokenCommand, m_known);
        QueryInt(*key, "SmtpSecurity", options.Security, m_known);
        QueryText(*key, "MailFrom", mail.MailFrom, m_known);
        QueryText(*key, "MailTo", mail.MailTo, m_known);
        QueryText(*key, "MailCc", mail.MailCc, m_known);
        QueryText(*key, "MailSubject", mail.MailSubject, m_known);
        if (warnings) {
            for (std::string& w : key->Warnings()) warnings->push_back(std::move(w));
        }
        key->Close(err);  // nothing was set, so nothing is written
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
    std::unique_ptr<platform::SettingsKey> key = m_pStore->CreateForSetting(kKey, err);
    if (!key) return false;
    const AppOptions& o = options;
    const AppOptions& b = m_storedOptions;
    if (mask & SETTINGS_OPTIONS) {
        SetIfChanged(*key, "BrowseOutputFolder", o.BrowseOutputFolder, b.BrowseOutputFolder, m_known);
        SetIfChanged(*key, "OpenEml", o.OpenEml, b.OpenEml, m_known);
        SetIfChanged(*key, "PrepareForWebmail", o.PrepareForWebmail, b.PrepareForWebmail, m_known);
        SetIfChanged(*key, "SmtpServer", o.SmtpServer, b.SmtpServer, m_known);
        SetIfChanged(*key, "SmtpPort", o.SmtpPort, b.SmtpPort, m_known);
        SetIfChanged(*key, "SrvReqAuth", o.SrvReqAuth, b.SrvReqAuth, m_known);
        SetIfChanged(*key, "AuthName", o.AuthName, b.AuthName, m_known);
        // The file holds the password only when no keyring took it.
        SetIfChanged(*key, "AuthPass", m_strPendingFilePass, m_strFilePass, m_known);
        SetIfChanged(*key, "SmtpSecurity", o.Security, b.Security, m_known);
        SetIfChanged(*key, "AuthMethod", o.AuthMethod, b.AuthMethod, m_known);
        SetIfChanged(*key, "OAuthTokenCommand", o.OAuthTokenCommand, b.OAuthTokenCommand, m_known);
    }
    if (mask & SETTINGS_MAIL) {
        SetIfChanged(*key, "MailFrom", mail.MailFrom, m_storedMail.MailFrom, m_known);
        SetIfChanged(*key, "MailTo", mail.MailTo, m_storedMail.MailTo, m_known);
        SetIfChanged(*key, "MailCc", mail.MailCc, m_storedMail.MailCc, m_known);
        SetIfChanged(*key, "MailSubject", mail.MailSubject, m_storedMail.MailSubject, m_known);
    }
    if (!key->Close(err)) return false;
    if (mask & SETTINGS_OPTIONS) {
        m_storedOptions = options;
        m_strFilePass = m_strPendingFilePass;
        m_known.insert(std::begin(kOptionNames), std::end(kOptionNames));
    }
    if (mask & SETTINGS_MAIL) {
        m_storedMail = mail;
        m_known.insert(std::begin(kMailNames), std::end(kMailNames));
    }
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
        return "in the settings file" + (m_strKeyringNote.empty() ? std::string() : " (no keyring: " + m_strKeyringNote + ")");
    case PasswordPlace::None: break;
    }
    return "nowhere: no password is saved";
}

bool AppSettings::TestAndClearFirstRun() {
    std::uint32_t flag = 1;
    std::string err;
    std::unique_ptr<platform::SettingsKey> key = m_pStore->CreateForSetting(kKey, err);
    if (!key) return true;
    key->QueryDword("FirstRun", flag);
    if (flag != 0) key->SetDword("FirstRun", 0);
    key->Close(err);  // if it cannot be recorded, the next start is a first one again
    return flag != 0;
}
