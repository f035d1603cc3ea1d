#include "cli/CommandLine.h"

#include "app/AppSettings.h"
#include "cli/ComposeCommand.h"
#include "cli/OptionsCommand.h"
#include "cli/SendCommand.h"
#include "smtp/SmtpSecurity.h"

namespace {

const char kUsage[] =
    "Usage: quillory-cli compose PAGE.html -o OUT.eml [--subject S] [--from F]\n"
    "                            [--to T] [--cc C] [--attach FILE]...\n"
    "       quillory-cli send PAGE.html --from F --to T [--cc C] [--subject S]\n"
    "                         [--attach FILE]... [--server HOST] [--port N]\n"
    "                         [--auth --user NAME] [--security none|starttls|tls]\n"
    "       quillory-cli options [--server HOST] [--port N] [--auth on|off]\n"
    "                            [--user NAME] [--password-stdin]\n"
    "                            [--security none|starttls|tls]\n"
    "                            [--browse-folder on|off] [--open-eml on|off]\n"
    "       quillory-cli --help | --version\n"
    "\n"
    "compose writes PAGE.html as a self-contained e-mail message to OUT.eml: the\n"
    "local images, style sheets and scripts it refers to travel inside the message.\n"
    "send composes the same message and delivers it by SMTP, printing the dialogue\n"
    "with the server as it goes. Header fields and SMTP options not given are\n"
    "taken from the saved settings.\n"
    "\n"
    "  -o, --output OUT.eml   the message file to write (replaced only on success);\n"
    "                         - writes it to standard output\n"
    "  --subject S            Subject header\n"
    "  --from F               From header\n"
    "  --to T                 To header\n"
    "  --cc C                 Cc header (no Cc line when empty)\n"
    "  --attach FILE          attach FILE; repeat for more, kept in this order\n"
    "\n"
    "  --server HOST          SMTP server: host name or dotted IPv4 address\n"
    "  --port N               SMTP port (default 25)\n"
    "  --auth --user NAME     log in with AUTH LOGIN as NAME; the password comes from\n"
    "                         QUILLORY_SMTP_PASSWORD or is asked for on the terminal\n"
    "  --security MODE        none: plain text (default); starttls: encrypt after the\n"
    "                         greeting (usually port 587); tls: encrypted from the\n"
    "                         start (usually port 465). The server's certificate\n"
    "                         must be valid for HOST and trusted by the system.\n"
    "\n"
    "options alone lists the saved settings; with changes it saves the options\n"
    "(password read from the first line of standard input) in\n"
    "$XDG_CONFIG_HOME/quillory/settings.reg, by default ~/.config/quillory/.\n"
    "\n"
    "Exit status: 0 done, 1 composition, delivery or saving failed, 2 bad usage\n"
    "or missing fields, 130 interrupted.\n";

std::string Absolute(const std::string& path, const std::string& cwd) {
    if (path.empty() || path[0] == '/') return path;
    return cwd + path;
}

CliRequest Usage(std::string why) {
    CliRequest r;
    r.kind = CliRequest::Kind::Usage;
    r.error = std::move(why);
    return r;
}

// Any integer: a port out of range is refused by the connect step, as it would
// be when it came from the settings.
bool ParsePort(const std::string& text, int& port) {
    if (text.empty() || text.size() > 9) return false;
    std::size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size()) return false;
    for (std::size_t j = i; j < text.size(); ++j)
        if (text[j] < '0' || text[j] > '9') return false;
    port = std::stoi(text);
    return true;
}

} // namespace

const char* UsageText() { return kUsage; }

CliRequest ParseCommandLine(const std::vector<std::string>& args, const std::string& cwd) {
    if (args.empty()) return Usage("no command given");
    for (const std::string& a : args) {
        CliRequest r;
        if (a == "--help" || a == "-h") r.kind = CliRequest::Kind::Help;
        if (a == "--version") r.kind = CliRequest::Kind::Version;
        if (r.kind != CliRequest::Kind::Usage) return r;
    }
    if (args[0] == "options") {
        CliRequest r;
        ParseOptionsCommand(args, r);
        return r;
    }
    const bool send = args[0] == "send";
    if (args[0] != "compose" && !send) return Usage("unknown command '" + args[0] + "'");

    CliRequest r;
    r.kind = send ? CliRequest::Kind::Send : CliRequest::Kind::Compose;
    std::string html;
    bool haveOutput = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        bool ok = true;
        if (send && a == "--server") {
            ok = r.send.bServerGiven = value(r.send.server);
        } else if (send && a == "--port") {
            std::string port;
            ok = r.send.bPortGiven = value(port);
            if (ok && !ParsePort(port, r.send.port)) return Usage("--port needs a number");
        } else if (send && a == "--auth") {
            r.send.auth = r.send.bAuthGiven = true;
        } else if (send && a == "--security") {
            std::string mode;
            ok = r.send.bSecurityGiven = value(mode);
            if (ok && !ParseSecurity(mode, r.send.security))
                return Usage("--security takes none, starttls or tls, not '" + mode + "'");
        } else if (send && a == "--user") {
            ok = r.send.bUserGiven = value(r.send.user);
        } else if (!send && (a == "-o" || a == "--output")) {
            ok = value(r.job.m_strOutputPath);
            haveOutput = ok;
        } else if (a == "--subject") {
            ok = r.bSubjectGiven = value(r.job.m_strSubject);
        } else if (a == "--from") {
            ok = r.bFromGiven = value(r.job.m_strFrom);
        } else if (a == "--to") {
            ok = r.bToGiven = value(r.job.m_strTo);
        } else if (a == "--cc") {
            ok = r.bCcGiven = value(r.job.m_strCc);
        } else if (a == "--attach") {
            std::string file;
            ok = value(file);
            if (ok && file.empty()) return Usage("--attach needs a file name");
            if (ok) r.job.m_listAttachments.push_back(Absolute(file, cwd));
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage("unknown option '" + a + "'");
        } else if (html.empty()) {
            html = a;
        } else {
            return Usage("more than one HTML file given");
        }
        if (!ok) return Usage("option '" + a + "' needs a value");
    }
    if (send) {
        // A missing page is reported like the other missing fields, by the send itself.
        if (!html.empty()) r.job.m_strHtmlPath = Absolute(html, cwd);
        return r;
    }
    if (html.empty()) return Usage("no HTML file given");
    if (!haveOutput || r.job.m_strOutputPath.empty()) return Usage("no output file given (-o OUT.eml)");
    r.job.m_strHtmlPath = Absolute(html, cwd);
    if (r.job.m_strOutputPath != "-") r.job.m_strOutputPath = Absolute(r.job.m_strOutputPath, cwd);
    return r;
}

int RunCli(const std::vector<std::string>& args, const std::string& cwd, std::string& out, std::string& err,
           std::istream* in) {
    CliRequest req = ParseCommandLine(args, cwd);
    switch (req.kind) {
    case CliRequest::Kind::Help:
        out = kUsage;
        return 0;
    case CliRequest::Kind::Version:
        out = "quillory-cli 2.0.617\n";
        return 0;
    case CliRequest::Kind::Usage:
        err = "quillory-cli: " + req.error + "\n" + kUsage;
        return 2;
    case CliRequest::Kind::Options:
        return RunOptionsCommand(req.options, in, out, err);
    case CliRequest::Kind::Send:
    case CliRequest::Kind::Compose:
        break;
    }
    // Header fields and SMTP options left out are the ones saved, as in the window.
    AppSettings settings;
    std::vector<std::string> warnings;
    settings.LoadSettings(&warnings);
    err += WarningLines(warnings);
    if (!req.bSubjectGiven) req.job.m_strSubject = settings.MailSubject;
    if (!req.bFromGiven) req.job.m_strFrom = settings.MailFrom;
    if (!req.bToGiven) req.job.m_strTo = settings.MailTo;
    if (!req.bCcGiven) req.job.m_strCc = settings.MailCc;
    if (req.kind == CliRequest::Kind::Send) {
        SendOptions& s = req.send;
        if (!s.bServerGiven) s.server = settings.SmtpServer;
        if (!s.bPortGiven) s.port = settings.SmtpPort;
        if (!s.bAuthGiven) s.auth = settings.SrvReqAuth != 0;
        if (!s.bSecurityGiven) s.security = settings.SmtpSecurity;
        if (!s.bUserGiven) {
            s.user = settings.AuthName;
            s.storedPassword = settings.AuthPass;
        }
        std::string sendErr;
        int rc = RunSend(req, out, sendErr);
        err += sendErr;
        return rc;
    }
    return RunCompose(req, out, err);
}
