#include "app/AppSettings.h"

const char AppSettings::kKey[] = "Software\\Quillory\\Options";

namespace {

template <typename T>
void QueryInt(platform::SettingsKey& key, const char* name, T& field) {
    std::uint32_t v;
    if (key.QueryDword(name, v)) field = static_cast<T>(static_cast<std::int32_t>(v));
}

void QueryText(platform::SettingsKey& key, const char* name, std::string& field) {
    std::string v;
    if (key.QueryString(name, v)) field = std::move(v);
}

// Writes one value when it differs from what the store held.
template <typename T>
void SetIfChanged(platform::SettingsKey& key, const char* name, const T& now, const T& before) {
    if (now == before) return;
    if constexpr (std::is_same_v<T, std::string>) key.SetString(name, now);
    else key.SetDword(name, static_cast<std::uint32_t>(static_cast<std::int32_t>(now)));
}

} // namespace

void AppSettings::LoadSettings(std::vector<std::string>* warnings) {
    std::string err;
    std::unique_ptr<platform::SettingsKey> key = m_pStore->OpenForQuery(kKey, err);
    if (!key) {
        // The reason may tell several things, one per line.
        for (std::size_t p = 0; warnings && p < err.size();) {
            std::size_t nl = err.find('\n', p);
            if (nl == std::string::npos) nl = err.size();
            warnings->push_back(err.substr(p, nl - p));
            p = nl + 1;
        }
    } else {
        QueryInt(*key, "BrowseOutputFolder", options.BrowseOutputFolder);
        QueryInt(*key, "OpenEml", options.OpenEml);
        QueryText(*key, "SmtpServer", options.SmtpServer);
        QueryInt(*key, "SmtpPort", options.SmtpPort);
        QueryInt(*key, "SrvReqAuth", options.SrvReqAuth);
        QueryText(*key, "AuthName", options.AuthName);
        QueryText(*key, "AuthPass", options.AuthPass);
        QueryInt(*key, "AuthMethod", options.AuthMethod);
        QueryText(*key, "OAuthTokenCommand", options.OAuthTokenCommand);
        QueryInt(*key, "SmtpSecurity", options.Security);
        QueryText(*key, "MailFrom", mail.MailFrom);
        QueryText(*key, "MailTo", mail.MailTo);
        QueryText(*key, "MailCc", mail.MailCc);
        QueryText(*key, "MailSubject", mail.MailSubject);
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
    // A value missing from the store must still be written when it is set, so
    // the comparison base is "unknown" for everything not read.
    m_storedOptions = options;
    m_storedMail = mail;
    if (!key) {
        const std::string unknown = "\x01";
        m_storedOptions = AppOptions();
        m_storedOptions.SmtpServer = unknown;
        m_storedOptions.SmtpPort = -1;
        m_storedMail = MailFields{unknown, unknown, unknown, unknown};
    }
}

bool AppSettings::SaveSettings(unsigned mask, std::string& err) {
    if ((mask & (SETTINGS_OPTIONS | SETTINGS_MAIL)) == 0) {
        err = "no group of settings selected";
        return false;
    }
    std::unique_ptr<platform::SettingsKey> key = m_pStore->CreateForSetting(kKey, err);
    if (!key) return false;
    const AppOptions& o = options;
    const AppOptions& b = m_storedOptions;
    if (mask & SETTINGS_OPTIONS) {
        SetIfChanged(*key, "BrowseOutputFolder", o.BrowseOutputFolder, b.BrowseOutputFolder);
        SetIfChanged(*key, "OpenEml", o.OpenEml, b.OpenEml);
        SetIfChanged(*key, "SmtpServer", o.SmtpServer, b.SmtpServer);
        SetIfChanged(*key, "SmtpPort", o.SmtpPort, b.SmtpPort);
        SetIfChanged(*key, "SrvReqAuth", o.SrvReqAuth, b.SrvReqAuth);
        SetIfChanged(*key, "AuthName", o.AuthName, b.AuthName);
        std::string filePass = PlacePassword();
        SetIfChanged(*key, "AuthPass", filePass, m_strFilePass);
        SetIfChanged(*key, "AuthMethod", o.AuthMethod, b.AuthMethod);
        SetIfChanged(*key, "OAuthTokenCommand", o.OAuthTokenCommand, b.OAuthTokenCommand);
        m_strPendingFilePass = filePass;
        SetIfChanged(*key, "SmtpSecurity", o.Security, b.Security);
    }
    if (mask & SETTINGS_MAIL) {
        SetIfChanged(*key, "MailFrom", mail.MailFrom, m_storedMail.MailFrom);
        SetIfChanged(*key, "MailTo", mail.MailTo, m_storedMail.MailTo);
        SetIfChanged(*key, "MailCc", mail.MailCc, m_storedMail.MailCc);
        SetIfChanged(*key, "MailSubject", mail.MailSubject, m_storedMail.MailSubject);
    }
    if (!key->Close(err)) return false;
    if (mask & SETTINGS_OPTIONS) {
        m_storedOptions = options;
        m_strFilePass = m_strPendingFilePass;
    }
    if (mask & SETTINGS_MAIL) m_storedMail = mail;
    return true;
}

std::string AppSettings::PlacePassword() {
    const AppOptions& o = options;
    const AppOptions& b = m_storedOptions;
    const platform::SecretKey key{o.SmtpServer, o.SmtpPort, o.AuthName};
    const bool keyMoved = o.SmtpServer != b.SmtpServer || o.SmtpPort != b.SmtpPort || o.AuthName != b.AuthName;
    // Nothing to do unless the password, what it is filed under, or its place
    // in the file has to change.
    if (o.AuthPass == b.AuthPass && !keyMoved && m_strFilePass.empty()) return m_strFilePass;
    std::string ignored;
    if (keyMoved && m_passwordPlace == PasswordPlace::Keyring)
        m_pKeyring->Remove({b.SmtpServer, b.SmtpPort, b.AuthName}, ignored);
    if (o.AuthPass.empty()) {
        if (!keyMoved) m_pKeyring->Remove(key, ignored);
        m_passwordPlace = PasswordPlace::None;
        return std::string();
    }
    // The file's copy goes only once the keyring has confirmed the write.
    if (m_pKeyring->Store(key, o.AuthPass, m_strKeyringNote) == platform::KeyringResult::Ok) {
        m_passwordPlace = PasswordPlace::Keyring;
        return std::string();
    }
    m_passwordPlace = PasswordPlace::File;
    return o.AuthPass;
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
