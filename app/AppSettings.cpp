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
    // A value missing from the store must still be written when it is set, so
    // the comparison base is "unknown" for everything not read.
    m_storedOptions = options;
    m_storedMail = mail;
    if (!key) {
        m_storedOptions = AppOptions{"\x01"};
        m_storedOptions.SmtpPort = -1;
        m_storedMail = MailFields{"\x01", "\x01", "\x01", "\x01"};
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
        SetIfChanged(*key, "AuthPass", o.AuthPass, b.AuthPass);
        SetIfChanged(*key, "SmtpSecurity", o.Security, b.Security);
    }
    if (mask & SETTINGS_MAIL) {
        SetIfChanged(*key, "MailFrom", mail.MailFrom, m_storedMail.MailFrom);
        SetIfChanged(*key, "MailTo", mail.MailTo, m_storedMail.MailTo);
        SetIfChanged(*key, "MailCc", mail.MailCc, m_storedMail.MailCc);
        SetIfChanged(*key, "MailSubject", mail.MailSubject, m_storedMail.MailSubject);
    }
    if (!key->Close(err)) return false;
    if (mask & SETTINGS_OPTIONS) m_storedOptions = options;
    if (mask & SETTINGS_MAIL) m_storedMail = mail;
    return true;
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
