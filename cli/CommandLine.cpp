#include "cli/CommandLine.h"

#include "app/AppSettings.h"
#include "cli/CheckCommand.h"
#include "cli/ComposeCommand.h"
#include "cli/OptionsCommand.h"
#include "cli/PreviewCommand.h"
#include "cli/SendCommand.h"
#include "core/Product.h"
#include "core/Utf8.h"
#include "platform/Codeset.h"
#include "smtp/SmtpSecurity.h"

namespace {

const char kUsage[] =
    "Usage: quillory-cli compose PAGE.html -o OUT.eml [--force] [--subject S]\n"
    "                            [--from F] [--to T] [--cc C] [--attach FILE]...\n"
    "                            [--webmail]\n"
    "       quillory-cli send PAGE.html --from F --to T [--cc C] [--subject S]\n"
    "                         [--attach FILE]... [--webmail] [--server HOST]\n"
    "                         [--port N] [--auth --user NAME]\n"
    "                         [--security none|starttls|tls]\n"
    "                         [--auth-method METHOD] [--oauth-token-command CMD]\n"
    "       quillory-cli check PAGE.html [--attach FILE]... [--json] [--webmail]\n"
    "                          [--clients GLOB,...] [--no-spam] [--links]\n"
    "                          [--subject S] [--from F] [--to T] [--cc C]\n"
    "       quillory-cli preview PAGE.html -o SHOT.png [--force] [--width 600|375|N]\n"
    "                            [--height N] [--subject S] [--from F] [--to T]\n"
    "                            [--cc C] [--attach FILE]... [--webmail]\n"
    "       quillory-cli options [--server HOST] [--port N] [--auth on|off]\n"
    "                            [--user NAME] [--password-stdin]\n"
    "                            [--security none|starttls|tls]\n"
    "                            [--auth-method METHOD] [--oauth-token-command CMD]\n"
    "                            [--browse-folder on|off] [--open-eml on|off]\n"
    "                            [--webmail on|off]\n"
    "       quillory-cli --help | --version\n"
    "\n"
    "compose writes PAGE.html as a self-contained e-mail message to OUT.eml: the\n"
    "local images, style sheets and scripts it refers to travel inside the message.\n"
    "send composes the same message and delivers it by SMTP, printing the dialogue\n"
    "with the server as it goes. Header fields and SMTP options not given are\n"
    "taken from the saved settings.\n"
    "check lists every reference the page makes and what the message will do with\n"
    "it, then the message's size against the limits of mail programs, then which\n"
    "mail programs support the HTML and CSS features the page uses (from the\n"
    "caniemail.com data), then SpamAssassin's verdict on the message when it is\n"
    "installed; --json writes the same as one JSON document. It writes no message\n"
    "and, unless --links is given, sends nothing over the network.\n"
    "preview composes the message, reads it back and draws its HTML part as a\n"
    "mail program would, with nothing fetched from the network, into SHOT.png:\n"
    "600 pixels wide (desktop) unless --width says otherwise (375: phone), as\n"
    "tall as the page unless --height says otherwise.\n"
    "\n"
    "  -o, --output OUT.eml   the message file to write (replaced only on success);\n"
    "                         - writes it to standard output; a read-only file is\n"
    "                         refused, and none of the files the message is made\n"
    "                         of may be named\n"
    "  --force                replace a read-only output file\n"
    "  --subject S            Subject header\n"
    "  --from F               From header\n"
    "  --to T                 To header\n"
    "  --cc C                 Cc header (no Cc line when empty)\n"
    "  --attach FILE          attach FILE; repeat for more, kept in this order\n"
    "  --webmail              prepare for webmail, for this run only: add a plain-text\n"
    "                         version of the page, and carry what webmail drops or\n"
    "                         hides (data: images, CSS images, linked style sheets);\n"
    "                         options --webmail on makes it the default\n"
    "  --clients GLOB,...     check: the mail programs whose support is shown, as\n"
    "                         family.platform globs (outlook.*,*.ios); by default\n"
    "                         Gmail, Outlook, Apple Mail, Yahoo, Thunderbird and\n"
    "                         Samsung Email\n"
    "  --no-spam              check: leave out SpamAssassin's verdict (it runs with\n"
    "                         its network tests off, and takes a few seconds)\n"
    "  --links                check: ask each http(s) link and remote image with a\n"
    "                         HEAD request (GET when HEAD is refused) and report its\n"
    "                         status, redirects and TLS errors\n"
    "\n"
    "  --server HOST          SMTP server: host name or dotted IPv4 address\n"
    "  --port N               SMTP port (default 25)\n"
    "  --auth --user NAME     log in with AUTH LOGIN as NAME; the password comes from\n"
    "                         QUILLORY_SMTP_PASSWORD, the saved settings when server,\n"
    "                         port and NAME are the saved ones, or the terminal;\n"
    "                         without TLS, only with --security none given\n"
    "  --auth-method METHOD   auto (default): what the server offers; login, plain,\n"
    "                         or xoauth2: an OAuth2 access token from the token command\n"
    "  --oauth-token-command CMD\n"
    "                         a program (run without a shell, 30 s at most) whose\n"
    "                         first line of output is the access token\n"
    "  --security MODE        none: plain text (default); starttls: encrypt after the\n"
    "                         greeting (usually port 587); tls: encrypted from the\n"
    "                         start (usually port 465). The server's certificate\n"
    "                         must be valid for HOST and trusted by the system.\n"
    "\n"
    "options alone lists the saved settings; with changes it saves the options\n"
    "(password read from the first line of standard input) in the key file\n"
    "$XDG_CONFIG_HOME/quillory/quillory.conf, by default ~/.config/quillory/; the\n"
    "password goes to the desktop's keyring when there is one. It may be edited by\n"
    "hand, for example:\n"
    "  [SMTP]\n"
    "  SmtpServer=smtp.example.com\n"
    "  SmtpPort=587\n"
    "  SmtpSecurity=starttls\n"
    "  [Message]\n"
    "  PrepareForWebmail=true\n"
    "\n"
    "Exit status: 0 done, 1 composition, delivery, saving or drawing failed, 2 bad\n"
    "usage or missing fields, 4 sent but some recipients refused, 130 interrupted;\n"
    "check: 0 nothing worse than warnings, 1 errors, 2 bad usage.\n";

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

} // namespace

const char* UsageText() { return kUsage; }

CliRequest ParseCommandLine(const std::vector<std::string>& args, const std::string& cwd) {
    if (args.empty()) return Usage("no command given");
    CliRequest help;
    // --help and --version count where an option may stand, never as a value.
    if (args[0] == "--help" || args[0] == "-h") help.kind = CliRequest::Kind::Help;
    if (args[0] == "--version") help.kind = CliRequest::Kind::Version;
    if (help.kind != CliRequest::Kind::Usage) return help;
    if (args[0] == "options") {
        CliRequest r;
        ParseOptionsCommand(args, r);
        return r;
    }
    const bool send = args[0] == "send";
    const bool check = args[0] == "check";
    const bool preview = args[0] == "preview";
    if (args[0] != "compose" && !send && !check && !preview) return Usage("unknown command '" + args[0] + "'");

    CliRequest r;
    r.kind = send      ? CliRequest::Kind::Send
             : check   ? CliRequest::Kind::Check
             : preview ? CliRequest::Kind::Preview
                       : CliRequest::Kind::Compose;
    std::string html;
    bool haveOutput = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") return help.kind = CliRequest::Kind::Help, help;
        if (a == "--version") return help.kind = CliRequest::Kind::Version, help;
        // Options that hold for this run only: on/off ones are bare switches here.
        const OptionRow* option = FindOptionFlag(a);
        const MailFieldRow* field = FindMailFieldFlag(a);
        if (option && option->scope != OptionScope::Compose && !(send && option->scope == OptionScope::Send))
            option = nullptr;
        if (option && option->kind == OptionKind::Flag) {
            ParseOptionFlag(*option, "on", r.options, r.error);
            continue;
        }
        if (!send && !check && a == "--force") {
            r.job.m_bReplaceReadOnly = true;
            continue;
        }
        if (check && (a == "--json" || a == "--no-spam" || a == "--links")) {
            (a == "--json" ? r.bJson : a == "--links" ? r.bLinks : r.bSpam) = a != "--no-spam";
            continue;
        }
        const bool takesValue = option || (!send && !check && (a == "-o" || a == "--output")) ||
                                (preview && (a == "--width" || a == "--height")) || (check && a == "--clients") ||
                                field || a == "--attach";
        if (!takesValue) {
            if (a.size() > 1 && a[0] == '-') return Usage("unknown option '" + a + "'");
            if (!html.empty()) return Usage("more than one HTML file given");
            html = a;
            continue;
        }
        if (i + 1 >= args.size()) return Usage("option '" + a + "' needs a value");
        const std::string& v = args[++i];
        if (a == "-o" || a == "--output") {
            r.job.m_strOutputPath = v;
            haveOutput = true;
        } else if (field) {
            r.mail.*field->given = v;
        } else if (a == "--width" || a == "--height") {
            if (!ParsePreviewSize(a, v, a == "--width" ? r.nPreviewWidth : r.nPreviewHeight, r.error))
                return Usage(r.error);
        } else if (a == "--clients") {
            for (std::size_t start = 0; start <= v.size();) {
                std::size_t end = std::min(v.find(',', start), v.size());
                if (end > start) r.listClientGlobs.push_back(v.substr(start, end - start));
                start = end + 1;
            }
            if (r.listClientGlobs.empty()) return Usage("--clients needs at least one client");
        } else if (a == "--attach") {
            if (v.empty()) return Usage("--attach needs a file name");
            r.job.m_listAttachments.push_back(Absolute(v, cwd));
        } else if (!ParseOptionFlag(*option, v, r.options, r.error)) {
            return Usage(r.error);
        }
    }
    if (send) {
        // A missing page is reported like the other missing fields, by the send itself.
        if (!html.empty()) r.job.m_strHtmlPath = Absolute(html, cwd);
        return r;
    }
    if (html.empty()) return Usage("no HTML file given");
    if (check) {
        r.job.m_strHtmlPath = Absolute(html, cwd);
        return r;
    }
    if (!haveOutput || r.job.m_strOutputPath.empty())
        return Usage(preview ? "no output file given (-o SHOT.png)" : "no output file given (-o OUT.eml)");
    if (preview && r.job.m_strOutputPath == "-") return Usage("the preview is written to a file, not to standard output");
    r.job.m_strHtmlPath = Absolute(html, cwd);
    if (r.job.m_strOutputPath != "-") r.job.m_strOutputPath = Absolute(r.job.m_strOutputPath, cwd);
    return r;
}

int RunCli(const std::vector<std::string>& args, const std::string& cwd, std::string& out, std::string& err,
           std::istream* in, const std::optional<std::string>& envPassword) {
    CliRequest req = ParseCommandLine(args, cwd);
    switch (req.kind) {
    case CliRequest::Kind::Help:
        out = kUsage;
        return 0;
    case CliRequest::Kind::Version:
        out = std::string("quillory-cli ") + kQuilloryVersion + "\n";
        return 0;
    case CliRequest::Kind::Usage:
        err = "quillory-cli: " + req.error + "\n" + kUsage;
        return 2;
    case CliRequest::Kind::Options:
        return RunOptionsCommand(req, in, out, err);
    case CliRequest::Kind::Send:
    case CliRequest::Kind::Compose:
    case CliRequest::Kind::Check:
    case CliRequest::Kind::Preview:
        break;
    }
    // Without the working folder's path a relative name cannot be made whole,
    // and the page's own files would not be found from it.
    if (cwd.empty()) {
        bool relative = !req.job.m_strHtmlPath.empty() && req.job.m_strHtmlPath[0] != '/';
        for (const std::string& path : req.job.m_listAttachments) relative = relative || path[0] != '/';
        if (!req.job.m_strOutputPath.empty() && req.job.m_strOutputPath != "-" && req.job.m_strOutputPath[0] != '/')
            relative = true;
        if (relative) {
            err = "quillory-cli: the working folder's path cannot be read, so relative file names cannot be "
                  "followed: give them from the root (/...)\n";
            return 1;
        }
    }
    // Header fields and SMTP options left out are the ones saved, as in the window.
    AppSettings settings;
    std::vector<std::string> warnings;
    settings.LoadSettings(&warnings);
    err += WarningLines(warnings);
    // Arguments come in the locale's codeset; saved values are UTF-8 already.
    const std::string codeset = platform::LocaleCodeset();
    for (const MailFieldRow& row : MailFieldRows())
        if (std::optional<std::string>& given = req.mail.*row.given) *given = platform::TextToUtf8(*given, codeset);
    MailFields fields = settings.mail;
    req.mail.ApplyTo(fields);
    req.job.m_strSubject = fields.MailSubject;
    req.job.m_strFrom = fields.MailFrom;
    req.job.m_strTo = fields.MailTo;
    req.job.m_strCc = fields.MailCc;
    AppOptions options = settings.options;
    req.options.ApplyTo(options);
    req.job.m_bPrepareForWebmail = options.PrepareForWebmail;
    if (req.kind == CliRequest::Kind::Check)
        return RunCheck(req.job, CheckRun{req.bJson, req.bSpam, req.bLinks, req.listClientGlobs}, out, err);
    if (req.kind == CliRequest::Kind::Send) {
        std::string sendErr;
        int rc = RunSend(req.job, settings.options, req.options, envPassword, out, sendErr);
        err += sendErr;
        return rc;
    }
    if (req.kind == CliRequest::Kind::Preview) return RunPreview(req, out, err);
    return RunCompose(req, out, err);
}
