#include "cli/CommandLine.h"

#include "compose/MimeComposer.h"

namespace {

const char kUsage[] =
    "Usage: quillory-cli compose PAGE.html -o OUT.eml [--subject S] [--from F]\n"
    "                            [--to T] [--cc C] [--attach FILE]...\n"
    "       quillory-cli --help | --version\n"
    "\n"
    "Writes PAGE.html as a self-contained e-mail message to OUT.eml: the local\n"
    "images, style sheets and scripts it refers to travel inside the message.\n"
    "\n"
    "  -o, --output OUT.eml   the message file to write (replaced only on success)\n"
    "  --subject S            Subject header\n"
    "  --from F               From header\n"
    "  --to T                 To header\n"
    "  --cc C                 Cc header (no Cc line when empty)\n"
    "  --attach FILE          attach FILE; repeat for more, kept in this order\n"
    "\n"
    "Exit status: 0 written, 1 composition failed, 2 bad usage.\n";

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
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") return CliRequest{CliRequest::Kind::Help, {}, {}};
        if (a == "--version") return CliRequest{CliRequest::Kind::Version, {}, {}};
    }
    if (args[0] != "compose") return Usage("unknown command '" + args[0] + "'");

    CliRequest r;
    r.kind = CliRequest::Kind::Compose;
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
        if (a == "-o" || a == "--output") {
            ok = value(r.job.m_strOutputPath);
            haveOutput = ok;
        } else if (a == "--subject") {
            ok = value(r.job.m_strSubject);
        } else if (a == "--from") {
            ok = value(r.job.m_strFrom);
        } else if (a == "--to") {
            ok = value(r.job.m_strTo);
        } else if (a == "--cc") {
            ok = value(r.job.m_strCc);
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
    if (html.empty()) return Usage("no HTML file given");
    if (!haveOutput || r.job.m_strOutputPath.empty()) return Usage("no output file given (-o OUT.eml)");
    r.job.m_strHtmlPath = Absolute(html, cwd);
    r.job.m_strOutputPath = Absolute(r.job.m_strOutputPath, cwd);
    return r;
}

int RunCli(const std::vector<std::string>& args, const std::string& cwd, std::string& out, std::string& err) {
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
    case CliRequest::Kind::Compose:
        break;
    }
    CMimeComposer composer;
    static_cast<ComposeJob&>(composer) = req.job;
    if (!composer.Compose()) {
        err = "quillory-cli: " + composer.GetLastError() + "\n";
        return 1;
    }
    return 0;
}
