#pragma once
// The options record and the header-fields record: what the settings store,
// the Options window edits and the command line overlays. One record each, so
// a new option is added in one place.
#include <optional>
#include <string>
#include <string_view>

#include "smtp/SmtpSecurity.h"

// Member names are the names of the stored values.
struct AppOptions {
    std::string SmtpServer;
    int SmtpPort = 25;  // taken as stored; an unusable one fails at the connect step
    SmtpSecurity Security = kSecurityNone;  // stored as SmtpSecurity
    bool SrvReqAuth = false;
    std::string AuthName;
    std::string AuthPass;  // kept in the keyring when there is one
    SmtpAuthMethod AuthMethod = kAuthAuto;
    std::string OAuthTokenCommand;  // prints an OAuth2 access token (XOAUTH2)
    bool BrowseOutputFolder = true;  // after Create Email: show the file in its folder
    bool OpenEml = true;             // after Create Email: open it in the mail program
    // Messages also carry a plain-text alternative and what webmail drops or hides.
    bool PrepareForWebmail = false;

    bool operator==(const AppOptions&) const = default;
};

struct MailFields {
    std::string MailFrom;
    std::string MailTo;
    std::string MailCc;
    std::string MailSubject;

    bool operator==(const MailFields&) const = default;
};

// Changes asked for on a command line; what is not given stays as it is.
struct AppOptionsOverlay {
    std::optional<std::string> SmtpServer;
    std::optional<int> SmtpPort;
    std::optional<SmtpSecurity> Security;
    std::optional<bool> SrvReqAuth;
    std::optional<std::string> AuthName;
    std::optional<std::string> AuthPass;
    std::optional<SmtpAuthMethod> AuthMethod;
    std::optional<std::string> OAuthTokenCommand;
    std::optional<bool> BrowseOutputFolder;
    std::optional<bool> OpenEml;
    std::optional<bool> PrepareForWebmail;

    bool Any() const {
        return SmtpServer || SmtpPort || Security || SrvReqAuth || AuthName || AuthPass || AuthMethod ||
               OAuthTokenCommand || BrowseOutputFolder || OpenEml || PrepareForWebmail;
    }
    void ApplyTo(AppOptions& o) const;
};

struct MailFieldsOverlay {
    std::optional<std::string> MailFrom, MailTo, MailCc, MailSubject;
    void ApplyTo(MailFields& m) const;
};

// The environment variable that may carry the SMTP password to the command
// line; both programs take it out of their environment at start.
inline constexpr char kPasswordVariable[] = "QUILLORY_SMTP_PASSWORD";

constexpr int kMinPort = 1;
constexpr int kMaxPort = 65535;
// The one port check: decimal digits only, 1 to 65535.
bool ParsePort(std::string_view text, int& port);
inline bool IsValidPort(long port) { return port >= kMinPort && port <= kMaxPort; }
