#pragma once
// The values that survive between runs: the options and the header fields the
// user typed last. Plain C++ so that every front end shares it.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SettingsStore.h"

// Groups for SaveSettings; they may be combined.
constexpr unsigned SETTINGS_OPTIONS = 8;
constexpr unsigned SETTINGS_MAIL = 16;

class AppSettings {
public:
    explicit AppSettings(platform::SettingsStore& store = platform::RealSettingsStore()) : m_pStore(&store) {}

    // The field names are the names of the stored values.
    // Options group:
    std::int32_t BrowseOutputFolder = 1;  // flags: non-zero is on
    std::int32_t OpenEml = 1;
    std::string SmtpServer;
    std::int32_t SmtpPort = 25;  // taken as stored; checked only when connecting
    std::int32_t SrvReqAuth = 0;
    std::string AuthName;
    std::string AuthPass;  // plain text, as stored
    std::int32_t SmtpSecurity = 0;  // 0 plain, 1 STARTTLS, 2 TLS from the first byte
    // Mail group:
    std::string MailFrom;
    std::string MailTo;
    std::string MailCc;
    std::string MailSubject;

    // Fills the fields from the store; a value that is missing or unusable
    // leaves its field as it was. What was wrong with the stored data is
    // appended to warnings when given.
    void LoadSettings(std::vector<std::string>* warnings = nullptr);
    // Writes the groups selected by mask in one step. False with the reason
    // when mask selects nothing or the store could not be written.
    bool SaveSettings(unsigned mask, std::string& err);
    // True on the user's first start (FirstRun missing or non-zero), which it
    // records; true on every start when the store cannot be opened.
    bool TestAndClearFirstRun();

    static const char kKey[];

private:
    platform::SettingsStore* m_pStore;
};
