#include "platform/DesktopEntry.h"

#include <sstream>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/XdgFolders.h"

namespace platform {
namespace {

// Far above any real desktop entry.
constexpr std::size_t kMaxEntrySize = 1u << 20;

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// Undoes the escapes every string value may hold (\s, \n, \t, \r, \\).
std::string UnescapeValue(const std::string& v) {
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '\\' || i + 1 == v.size()) {
            out += v[i];
            continue;
        }
        switch (char c = v[++i]) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        default: out += '\\'; out += c; break;
        }
    }
    return out;
}

} // namespace

bool FindDesktopEntryExec(const std::string& strId, std::string& strExec, std::string& err) {
    if (strId.empty() || strId.find("..") != std::string::npos) {
        err = "no desktop entry named '" + strId + "'";
        return false;
    }
    for (const std::string& folder : XdgDataFolders(RealEnvironment())) {
        // "vendor-app.desktop" may also live as applications/vendor/app.desktop.
        std::string path = folder + "/applications/" + strId;
        std::string text;
        bool found = ReadConfigFile(path, text, kMaxEntrySize) == 0;
        if (std::size_t dash = strId.find('-'); !found && dash != std::string::npos) {
            path = folder + "/applications/" + strId.substr(0, dash) + "/" + strId.substr(dash + 1);
            found = ReadConfigFile(path, text, kMaxEntrySize) == 0;
        }
        if (!found) continue;
        std::istringstream in(text);
        // The first folder holding the entry decides, as for the desktop itself.
        bool inMain = false;
        std::string line;
        while (std::getline(in, line)) {
            std::string t = Trim(line);
            if (t.empty() || t[0] == '#') continue;
            if (t[0] == '[') {
                inMain = t == "[Desktop Entry]";
                continue;
            }
            if (!inMain) continue;
            std::size_t eq = t.find('=');
            if (eq == std::string::npos || Trim(t.substr(0, eq)) != "Exec") continue;
            strExec = UnescapeValue(Trim(t.substr(eq + 1)));
            if (strExec.empty()) break;
            return true;
        }
        err = "the desktop entry '" + path + "' has no Exec line";
        return false;
    }
    err = "the desktop entry '" + strId + "' was not found in the XDG data folders";
    return false;
}

bool DefaultHtmlCommand(std::string& strExec, std::string& err) {
    std::string out;
    if (!RunForOutput({"xdg-mime", "query", "default", "text/html"}, out, err)) return false;
    std::string id = Trim(out.substr(0, out.find('\n')));
    if (id.empty()) {
        err = "no program is set for HTML pages (xdg-mime query default text/html)";
        return false;
    }
    return FindDesktopEntryExec(id, strExec, err);
}

bool SplitExecLine(const std::string& strExec, std::vector<std::string>& args, std::string& err) {
    args.clear();
    std::string cur;
    bool have = false, quoted = false;
    for (std::size_t i = 0; i < strExec.size(); ++i) {
        char c = strExec[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < strExec.size() && std::string("\"`$\\").find(strExec[i + 1]) != std::string::npos) {
                cur += strExec[++i];
            } else {
                cur += c;
            }
        } else if (c == ' ' || c == '\t') {
            if (have) args.push_back(cur);
            cur.clear();
            have = false;
        } else if (c == '"') {
            quoted = have = true;
        } else {
            cur += c;
            have = true;
        }
    }
    if (quoted) {
        err = "the Exec line leaves a quote open: " + strExec;
        return false;
    }
    if (have) args.push_back(cur);
    return true;
}

} // namespace platform
