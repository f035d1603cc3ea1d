#include "app/AppSettings.h"

const char AppSettings::kKey[] = "Software\\Quillory\\Options";

namespace {

void QueryInt(platform::SettingsKey& key, const char* name, std::int32_t& field) {
    std::uint32_t v;
    if (key.QueryDword(name, v)) field = static_cast<std::int32_t>(v);
}

void QueryText(platform::SettingsKey& key, const char* name, std::string& field) {
    std::string v;
    if (key.QueryString(name, v)) field = std::move(v);
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
        return;
    }
    QueryInt(*key, "BrowseOutputFolder", BrowseOutputFolder);
    QueryInt(*key, "OpenEml", OpenEml);
    QueryText(*key, "SmtpServer", SmtpServer);
    QueryInt(*key, "SmtpPort", SmtpPort);
    QueryInt(*key, "SrvReqAuth", SrvReqAuth);
    QueryText(*key, "AuthName", AuthName);
    QueryText(*key, "AuthPass", AuthPass);
    QueryInt(*key, "SmtpSecurity", SmtpSecurity);
    QueryText(*key, "MailFrom", MailFrom);
    QueryText(*key, "MailTo", MailTo);
    QueryText(*key, "MailCc", MailCc);
    QueryText(*key, "MailSubject", MailSubject);
    if (warnings) {
        for (std::string& w : key->Warnings()) warnings->push_back(std::move(w));
    }
    key->Close(err);  // nothing was set, so nothing is written
}

bool AppSettings::SaveSettings(unsigned mask, std::string& err) {
    if ((mask & (SETTINGS_OPTIONS | SETTINGS_MAIL)) == 0) {
        err = "no group of settings selected";
        return false;
    }
    std::unique_ptr<platform::SettingsKey> key = m_pStore->CreateForSetting(kKey, err);
    if (!key) return false;
    if (mask & SETTINGS_OPTIONS) {
        key->SetDword("BrowseOutputFolder", static_cast<std::uint32_t>(BrowseOutputFolder));
        key->SetDword("OpenEml", static_cast<std::uint32_t>(OpenEml));
        key->SetString("SmtpServer", SmtpServer);
        key->SetDword("SmtpPort", static_cast<std::uint32_t>(SmtpPort));
        key->SetDword("SrvReqAuth", static_cast<std::uint32_t>(SrvReqAuth));
        key->SetString("AuthName", AuthName);
        key->SetString("AuthPass", AuthPass);
        key->SetDword("SmtpSecurity", static_cast<std::uint32_t>(SmtpSecurity));
    }
    if (mask & SETTINGS_MAIL) {
        key->SetString("MailFrom", MailFrom);
        key->SetString("MailTo", MailTo);
        key->SetString("MailCc", MailCc);
        key->SetString("MailSubject", MailSubject);
    }
    return key->Close(err);
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
