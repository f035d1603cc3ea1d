#include "cli/OptionsCommand.h"

#include <cstdio>
#include <istream>

#include "smtp/SmtpSecurity.h"

namespace {

bool ParseSwitch(const std::string& text, std::int32_t& value) {
    if (text == "on") value = 1;
    else if (text == "off") value = 0;
    else return false;
    return true;
}

bool ParsePort(const std::string& text, std::int32_t& port) {
    if (text.empty() || text.size() > 5) return false;
    long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    port = static_cast<std::int32_t>(v);
    return v >= 1 && v <= 65535;
}

// Control bytes would break the one-line-per-value listing.
std::string Printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20 || c == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else out += static_cast<char>(c);
    }
    return out;
}

void Line(std::string& out, const char* name, const std::string& value) {
    std::string line = name;
    if (!value.empty()) line += std::string(20 - line.size(), ' ') + value;
    out += line + "\n";
}

const char* OnOff(std::int32_t flag) { return flag ? "on" : "off"; }

} // namespace

void ParseOptionsCommand(const std::vector<std::string>& args, CliRequest& r) {
    r.kind = CliRequest::Kind::Options;
    OptionChanges& c = r.options;
    auto usage = [&r](std::string why) {
        r.kind = CliRequest::Kind::Usage;
        r.error = std::move(why);
    };
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--password-stdin") {
            c.bPasswordFromStdin = true;
            continue;
        }
        if (a != "--server" && a != "--port" && a != "--auth" && a != "--user" && a != "--browse-folder" &&
            a != "--open-eml" && a != "--security")
            return usage("unknown option '" + a + "' for options");
        if (i + 1 >= args.size()) return usage("option '" + a + "' needs a value");
        const std::string& v = args[++i];
        std::int32_t n = 0;
        if (a == "--server") {
            c.server = v;
        } else if (a == "--user") {
            c.user = v;
        } else if (a == "--port") {
            if (!ParsePort(v, n)) return usage("--port takes a port number from 1 to 65535, not '" + v + "'");
            c.port = n;
        } else if (a == "--security") {
            int sec = 0;
            if (!ParseSecurity(v, sec)) return usage("--security takes none, starttls or tls, not '" + v + "'");
            c.security = sec;
        } else {
            if (!ParseSwitch(v, n)) return usage(a + " takes on or off, not '" + v + "'");
            (a == "--auth" ? c.auth : a == "--browse-folder" ? c.browseFolder : c.openEml) = n;
        }
    }
}

std::string FormatSettings(const AppSettings& s) {
    std::string out;
    Line(out, "BrowseOutputFolder", OnOff(s.BrowseOutputFolder));
    Line(out, "OpenEml", OnOff(s.OpenEml));
    Line(out, "SmtpServer", Printable(s.SmtpServer));
    Line(out, "SmtpPort", std::to_string(s.SmtpPort));
    Line(out, "SrvReqAuth", OnOff(s.SrvReqAuth));
    Line(out, "AuthName", Printable(s.AuthName));
    Line(out, "AuthPass", s.AuthPass.empty() ? "" : "********");
    // A number that means nothing is shown as it is: sending refuses it.
    const char* security = SecurityName(s.SmtpSecurity);
    Line(out, "SmtpSecurity", security ? security : std::to_string(s.SmtpSecurity));
    Line(out, "MailFrom", Printable(s.MailFrom));
    Line(out, "MailTo", Printable(s.MailTo));
    Line(out, "MailCc", Printable(s.MailCc));
    Line(out, "MailSubject", Printable(s.MailSubject));
    return out;
}

std::string WarningLines(const std::vector<std::string>& warnings) {
    std::string out;
    for (const std::string& w : warnings) out += "quillory-cli: warning: " + w + "\n";
    return out;
}

int RunOptionsCommand(const OptionChanges& changes, std::istream* in, std::string& out, std::string& err) {
    AppSettings s;
    std::vector<std::string> warnings;
    s.LoadSettings(&warnings);
    err += WarningLines(warnings);
    if (!changes.Any()) {
        out += FormatSettings(s);
        return 0;
    }
    if (changes.server) s.SmtpServer = *changes.server;
    if (changes.port) s.SmtpPort = *changes.port;
    if (changes.auth) s.SrvReqAuth = *changes.auth;
    if (changes.user) s.AuthName = *changes.user;
    if (changes.browseFolder) s.BrowseOutputFolder = *changes.browseFolder;
    if (changes.openEml) s.OpenEml = *changes.openEml;
    if (changes.security) s.SmtpSecurity = *changes.security;
    if (changes.bPasswordFromStdin) {
        // The first line, so that "echo secret |" works; an empty input clears it.
        std::string pass;
        if (in) std::getline(*in, pass);
        if (!pass.empty() && pass.back() == '\r') pass.pop_back();
        s.AuthPass = pass;
    }
    std::string why;
    if (!s.SaveSettings(SETTINGS_OPTIONS, why)) {
        err += "quillory-cli: the options were not saved: " + why + "\n";
        return 1;
    }
    return 0;
}
