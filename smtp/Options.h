#pragma once
// The options record and the one table that describes it. Loading, saving,
// the command line's overlay, the options listing and the Options window all
// walk the table, so an option is added as one row of QUILLORY_OPTIONS (plus,
// where the window shows it, its widget).
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "smtp/SmtpSecurity.h"

// How a value is written in the settings file and checked wherever it comes from.
enum class OptionKind {
    Text,        // as typed
    Secret,      // as typed, never shown; not taken from the command line
    Port,        // decimal, 1 to 65535
    Flag,        // true or false (on or off on the command line)
    Security,    // none, starttls, tls
    AuthMethod,  // auto, login, plain, xoauth2
};

// Where a command-line flag is taken: by "options" only (saved), or also by
// every command that sends (SMTP) or composes (for that run only).
enum class OptionScope { Saved, Send, Compose };

template <OptionKind K> struct OptionValueOf { using type = std::string; };
template <> struct OptionValueOf<OptionKind::Port> { using type = int; };
template <> struct OptionValueOf<OptionKind::Flag> { using type = bool; };
template <> struct OptionValueOf<OptionKind::Security> { using type = SmtpSecurity; };
template <> struct OptionValueOf<OptionKind::AuthMethod> { using type = SmtpAuthMethod; };

// One row per option: member, kind, group and key in the settings file (the
// keys are the stored value names of earlier versions), default, command-line
// flag ("" for none), its scope, the window's label and tooltip.
#define QUILLORY_OPTIONS(ROW)                                                                                     \
    ROW(SmtpServer, Text, "SMTP", "SmtpServer", "", "--server", Send, "&SMTP Server:",                           \
        "Host name or IP address")                                                                                \
    ROW(SmtpPort, Port, "SMTP", "SmtpPort", 25, "--port", Send, "S&MTP Port:", "")                                \
    ROW(Security, Security, "SMTP", "SmtpSecurity", kSecurityNone, "--security", Send, "Secur&ity:",              \
        "STARTTLS usually goes with port 587, TLS with port 465.")                                                \
    ROW(SrvReqAuth, Flag, "SMTP", "SrvReqAuth", false, "--auth", Send, "The SMTP Server requires &authentication", \
        "")                                                                                                       \
    ROW(AuthName, Text, "SMTP", "AuthName", "", "--user", Send, "Account &Name:", "")                             \
    ROW(AuthPass, Secret, "SMTP", "AuthPass", "", "", Saved, "&Password:", "Kept in the keyring when there is one") \
    ROW(AuthMethod, AuthMethod, "SMTP", "AuthMethod", kAuthAuto, "--auth-method", Send, "&Login method:", "")     \
    ROW(OAuthTokenCommand, Text, "SMTP", "OAuthTokenCommand", "", "--oauth-token-command", Send, "&Token command:", \
        "For XOAUTH2: its first line of output is the token. It runs without a shell, for 30 seconds at most.")  \
    ROW(BrowseOutputFolder, Flag, "Message", "BrowseOutputFolder", true, "--browse-folder", Saved,               \
        "&Browse output folder after creating HTML email", "")                                                    \
    ROW(OpenEml, Flag, "Message", "OpenEml", true, "--open-eml", Saved,                                          \
        "&Open HTML email file after creating HTML email", "")                                                    \
    ROW(PrepareForWebmail, Flag, "Message", "PrepareForWebmail", false, "--webmail", Compose, "Prepare for &webmail", \
        "Adds a plain-text version of the page, and carries embedded (data:) images, CSS images and linked style " \
        "sheets so that webmail shows them. Messages grow a little.")

struct AppOptions {
#define QUILLORY_OPTION_MEMBER(member, kind, group, key, def, ...) \
    OptionValueOf<OptionKind::kind>::type member = def;
    QUILLORY_OPTIONS(QUILLORY_OPTION_MEMBER)
#undef QUILLORY_OPTION_MEMBER

    bool operator==(const AppOptions&) const = default;
};

struct OptionRow;

// Changes asked for on a command line; what is not given stays as it is.
struct AppOptionsOverlay {
#define QUILLORY_OPTION_GIVEN(member, kind, ...) std::optional<OptionValueOf<OptionKind::kind>::type> member;
    QUILLORY_OPTIONS(QUILLORY_OPTION_GIVEN)
#undef QUILLORY_OPTION_GIVEN

    bool Any() const;
    bool Gives(const OptionRow& row) const;
    void ApplyTo(AppOptions& o) const;
};

struct OptionRow {
    OptionKind kind;
    const char* group;
    const char* key;
    const char* flag;
    OptionScope scope;
    const char* label;
    const char* tooltip;
    std::variant<std::string AppOptions::*, int AppOptions::*, bool AppOptions::*, SmtpSecurity AppOptions::*,
                 SmtpAuthMethod AppOptions::*>
        member;
};

// Every option, in the order the listing and the window show them.
std::span<const OptionRow> OptionRows();
// The row of a stored key, or of a command-line flag; null when there is none.
const OptionRow* FindOption(std::string_view key);
const OptionRow* FindOptionFlag(std::string_view flag);

// The value as the settings file holds it.
std::string FormatOption(const OptionRow& row, const AppOptions& from);
// The one check of a value, wherever it comes from (the file, the command
// line, the window). False, with what the option takes and what it was given
// ("a port number from 1 to 65535, not '0'"), leaving the record as it was.
bool ParseOption(const OptionRow& row, std::string_view text, AppOptions& to, std::string& why);
// Takes the row's value from a record into the overlay.
void GiveOption(const OptionRow& row, const AppOptions& from, AppOptionsOverlay& to);

// The header-fields record, with a table of its own: all text, kept in the
// [Message] group, each with its command-line flag.
struct MailFields {
    std::string MailFrom;
    std::string MailTo;
    std::string MailCc;
    std::string MailSubject;

    bool operator==(const MailFields&) const = default;
};

struct MailFieldsOverlay {
    std::optional<std::string> MailFrom, MailTo, MailCc, MailSubject;
    void ApplyTo(MailFields& m) const;
};

struct MailFieldRow {
    const char* key;
    const char* flag;
    std::string MailFields::*member;
    std::optional<std::string> MailFieldsOverlay::*given;
};
std::span<const MailFieldRow> MailFieldRows();
const MailFieldRow* FindMailFieldFlag(std::string_view flag);

// The environment variable that may carry the SMTP password to the command
// line; both programs take it out of their environment at start.
inline constexpr char kPasswordVariable[] = "QUILLORY_SMTP_PASSWORD";

// The one port check: decimal digits only, 1 to 65535.
bool ParsePort(std::string_view text, int& port);
