#include "cli/OptionsCommand.h"

#include <cstdio>
#include <istream>

#include "core/Ascii.h"
#include "smtp/SmtpSecurity.h"

namespace {

void Line(std::string& out, const std::string& name, const std::string& value) {
    std::string line = name;
    if (!value.empty()) line += std::string(20 - line.size(), ' ') + value;
    out += line + "\n";
}

} // namespace

bool ParseOptionFlag(const OptionRow& row, const std::string& value, AppOptionsOverlay& o, std::string& error) {
    AppOptions parsed;
    if (!ParseOption(row, value, parsed, error)) {
        error = std::string(row.flag) + " takes " + error;
        return false;
    }
    GiveOption(row, parsed, o);
    return true;
}

void ParseOptionsCommand(const std::vector<std::string>& args, CliRequest& r) {
    r.kind = CliRequest::Kind::Options;
    auto usage = [&r](std::string why) {
        r.kind = CliRequest::Kind::Usage;
        r.error = std::move(why);
    };
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") return void(r.kind = CliRequest::Kind::Help);
        if (a == "--version") return void(r.kind = CliRequest::Kind::Version);
        if (a == "--password-stdin") {
            r.bPasswordFromStdin = true;
            continue;
        }
        const OptionRow* row = FindOptionFlag(a);
        if (!row) return usage("unknown option '" + a + "' for options");
        if (i + 1 >= args.size()) return usage("option '" + a + "' needs a value");
        if (!ParseOptionFlag(*row, args[++i], r.options, r.error)) return usage(r.error);
    }
}

std::string FormatSettings(const AppSettings& s) {
    std::string out;
    for (const OptionRow& row : OptionRows()) {
        std::string value = FormatOption(row, s.options);
        if (row.kind == OptionKind::Flag) value = value == "true" ? "on" : "off";
        else if (row.kind == OptionKind::Secret && !value.empty()) value = "******** (" + s.PasswordPlaceText() + ")";
        else value = ascii::Printable(value);
        Line(out, row.key, value);
    }
    for (const MailFieldRow& row : MailFieldRows()) Line(out, row.key, ascii::Printable(s.mail.*row.member));
    return out;
}

std::string WarningLines(const std::vector<std::string>& warnings) {
    std::string out;
    for (const std::string& w : warnings) out += "quillory-cli: warning: " + w + "\n";
    return out;
}

int RunOptionsCommand(const CliRequest& req, std::istream* in, std::string& out, std::string& err) {
    AppSettings s;
    std::vector<std::string> warnings;
    s.LoadSettings(&warnings);
    err += WarningLines(warnings);
    if (!req.options.Any() && !req.bPasswordFromStdin) {
        out += FormatSettings(s);
        return 0;
    }
    req.options.ApplyTo(s.options);
    // What was asked for is written even when it equals what a damaged stored value gave way to.
    for (const OptionRow& row : OptionRows())
        if (req.options.Gives(row)) s.Given(row);
    if (req.bPasswordFromStdin) {
        // The first line, so that "echo secret |" works; an empty input clears it.
        std::string pass;
        if (in) std::getline(*in, pass);
        if (!pass.empty() && pass.back() == '\r') pass.pop_back();
        s.options.AuthPass = pass;
    }
    std::string why;
    if (!s.SaveSettings(SETTINGS_OPTIONS, why)) {
        err += "quillory-cli: the options were not saved: " + why + "\n";
        return 1;
    }
    if (req.bPasswordFromStdin && !s.options.AuthPass.empty())
        out += "The password is kept " + s.PasswordPlaceText() + ".\n";
    return 0;
}
