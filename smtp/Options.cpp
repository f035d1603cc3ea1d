#include "smtp/Options.h"

namespace {

const OptionRow kRows[] = {
#define QUILLORY_OPTION_ROW(member, kind, group, key, def, flag, scope, label, tooltip) \
    {OptionKind::kind, group, key, flag, OptionScope::scope, label, tooltip, &AppOptions::member},
    QUILLORY_OPTIONS(QUILLORY_OPTION_ROW)
#undef QUILLORY_OPTION_ROW
};

const MailFieldRow kMailRows[] = {
    {"MailFrom", "--from", &MailFields::MailFrom, &MailFieldsOverlay::MailFrom},
    {"MailTo", "--to", &MailFields::MailTo, &MailFieldsOverlay::MailTo},
    {"MailCc", "--cc", &MailFields::MailCc, &MailFieldsOverlay::MailCc},
    {"MailSubject", "--subject", &MailFields::MailSubject, &MailFieldsOverlay::MailSubject}};

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

} // namespace

std::span<const OptionRow> OptionRows() { return kRows; }
std::span<const MailFieldRow> MailFieldRows() { return kMailRows; }

const OptionRow* FindOption(std::string_view key) {
    for (const OptionRow& row : kRows)
        if (key == row.key) return &row;
    return nullptr;
}

const OptionRow* FindOptionFlag(std::string_view flag) {
    for (const OptionRow& row : kRows)
        if (*row.flag && flag == row.flag) return &row;
    return nullptr;
}

const MailFieldRow* FindMailFieldFlag(std::string_view flag) {
    for (const MailFieldRow& row : kMailRows)
        if (flag == row.flag) return &row;
    return nullptr;
}

bool AppOptionsOverlay::Any() const {
#define QUILLORY_OPTION_ANY(member, ...) || member.has_value()
    return false QUILLORY_OPTIONS(QUILLORY_OPTION_ANY);
#undef QUILLORY_OPTION_ANY
}

void AppOptionsOverlay::ApplyTo(AppOptions& o) const {
#define QUILLORY_OPTION_APPLY(member, ...) \
    if (member) o.member = *member;
    QUILLORY_OPTIONS(QUILLORY_OPTION_APPLY)
#undef QUILLORY_OPTION_APPLY
}

bool AppOptionsOverlay::Gives(const OptionRow& row) const {
#define QUILLORY_OPTION_GIVES(member, kind, inGroup, storedKey, ...) \
    if (std::string_view(row.key) == storedKey) return member.has_value();
    QUILLORY_OPTIONS(QUILLORY_OPTION_GIVES)
#undef QUILLORY_OPTION_GIVES
    return false;
}

void GiveOption(const OptionRow& row, const AppOptions& from, AppOptionsOverlay& to) {
#define QUILLORY_OPTION_GIVE(member, kind, inGroup, storedKey, ...) \
    if (std::string_view(row.key) == storedKey) to.member = from.member;
    QUILLORY_OPTIONS(QUILLORY_OPTION_GIVE)
#undef QUILLORY_OPTION_GIVE
}

std::string FormatOption(const OptionRow& row, const AppOptions& from) {
    return std::visit(
        [&](auto member) -> std::string {
            const auto& v = from.*member;
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) return v;
            else if constexpr (std::is_same_v<T, bool>) return v ? "true" : "false";
            else if constexpr (std::is_same_v<T, SmtpSecurity>) return SecurityName(v) ? SecurityName(v) : "none";
            else if constexpr (std::is_same_v<T, SmtpAuthMethod>) return AuthMethodName(v) ? AuthMethodName(v) : "auto";
            else return std::to_string(v);
        },
        row.member);
}

bool ParseOption(const OptionRow& row, std::string_view text, AppOptions& to, std::string& why) {
    const std::string given(text);
    bool ok = std::visit(
        [&](auto member) {
            auto& v = to.*member;
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) {
                v = given;
            } else if constexpr (std::is_same_v<T, bool>) {
                why = "on or off (true or false), not " + Quoted(text);
                if (text != "true" && text != "false" && text != "on" && text != "off") return false;
                v = text == "true" || text == "on";
            } else if constexpr (std::is_same_v<T, SmtpSecurity>) {
                why = "none, starttls or tls, not " + Quoted(text);
                return ParseSecurity(given, v);
            } else if constexpr (std::is_same_v<T, SmtpAuthMethod>) {
                why = "auto, login, plain or xoauth2, not " + Quoted(text);
                return ParseAuthMethod(given, v);
            } else {
                why = "a port number from 1 to 65535, not " + Quoted(text);
                return ParsePort(text, v);
            }
            return true;
        },
        row.member);
    if (ok) why.clear();
    return ok;
}

void MailFieldsOverlay::ApplyTo(MailFields& m) const {
    for (const MailFieldRow& row : kMailRows)
        if (const std::optional<std::string>& v = this->*row.given) m.*row.member = *v;
}

bool ParsePort(std::string_view text, int& port) {
    if (text.empty() || text.size() > 5) return false;
    long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > 65535) return false;
    port = static_cast<int>(v);
    return true;
}
