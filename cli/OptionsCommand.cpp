#include "cli/OptionsCommand.h"

#include <cstdio>
#include <istream>

#include "core/Ascii.h"
#include "smtp/SmtpSecurity.h"

namespace {

bool ParseSwitch(const std::string& text, bool& value) {
    if (text == "on") value = true;
    else if (text == "off") value = false;
    else return false;
    return true;
}

void Line(std::string& out, const char* name, const std::string& value) {
    std::string line = name;
    if (!value.empty()) line += std::string(20 - line.size(), ' ') + value;
    out += line + "\n";
}

const char* OnOff(bool flag) { return flag ? "on" : "off"; }

} // namespace

void ParseOptionsCommand(const std::vector<std::string>& args, CliRequest& r) {
    r.kind = CliRequest::Kind::Options;
    AppOptionsOverlay& c = r.options;
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
        if (!IsSmtpOption(a) && a != "--auth" && a != "--browse-folder" && a != "--open-eml" &&
            a != "--webmail")
            return usage("unknown option '" + a + "' for options");
        if (i + 1 >= args.size()) return usage("option '" + a + "' needs a value");
        const std::string& v = args[++i];
        if (IsSmtpOption(a)) {
            if (!ParseSmtpOption(a, v, c, r.error)) return usage(r.error);
            continue;
        }
        bool on = false;
        if (!ParseSwitch(v, on)) return usage(a + " takes on or off, not '" + v + "'");
        (a == "--auth" ? c.SrvReqAuth : a == "--browse-folder" ? c.BrowseOutputFolder
                                      : a == "--open-eml"    ? c.OpenEml
                                                             : c.PrepareForWebmail) = on;
    }
}

std::string FormatSettings(const AppSettings& s) {
    const AppOptions& o = s.options;
    const MailFields& m = s.mail;
    std::string out;
    Line(out, "BrowseOutputFolder", OnOff(o.BrowseOutputFolder));
    Line(out, "OpenEml", OnOff(o.OpenEml));
    Line(out, "PrepareForWebmail", OnOff(o.PrepareForWebmail));
    Line(out, "SmtpServer", ascii::Printable(o.SmtpServer));
    Line(out, "SmtpPort", std::to_string(o.SmtpPort));
    Line(out, "SrvReqAuth", OnOff(o.SrvReqAuth));
    Line(out, "AuthName", ascii::Printable(o.AuthName));
    Line(out, "AuthPass", o.AuthPass.empty() ? "" : "******** (" + s.PasswordPlaceText() + ")");
    // A number that means nothing is shown as it is: sending refuses it.
    const char* security = SecurityName(o.Security);
    Line(out, "SmtpSecurity", security ? security : std::to_string(static_cast<int>(o.Security)));
    const char* method = AuthMethodName(o.AuthMethod);
    Line(out, "AuthMethod", method ? method : std::to_string(static_cast<int>(o.AuthMethod)));
    Line(out, "OAuthTokenCommand", ascii::Printable(o.OAuthTokenCommand));
    Line(out, "MailFrom", ascii::Printable(m.MailFrom));
    Line(out, "MailTo", ascii::Printable(m.MailTo));
    Line(out, "MailCc", ascii::Printable(m.MailCc));
    Line(out, "MailSubject", ascii::Printable(m.MailSubject));
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
