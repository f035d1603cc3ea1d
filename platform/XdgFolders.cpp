#include "platform/XdgFolders.h"

#include <pwd.h>
#include <unistd.h>

namespace platform {
namespace {

// The variable's value when it is an absolute path, without trailing slashes.
std::string AbsoluteVar(Environment& env, const char* name) {
    std::string v;
    if (!env.GetVar(name, v) || v.empty() || v[0] != '/') return {};
    while (v.size() > 1 && v.back() == '/') v.pop_back();
    return v;
}

} // namespace

std::string HomeFolder(Environment& env) {
    std::string home;
    if (!env.GetVar("HOME", home) || home.empty()) {
        const struct passwd* pw = ::getpwuid(::getuid());
        home = pw && pw->pw_dir ? pw->pw_dir : "";
    }
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home;
}

std::string XdgConfigHome(Environment& env) {
    std::string v = AbsoluteVar(env, "XDG_CONFIG_HOME");
    if (!v.empty()) return v;
    std::string home = HomeFolder(env);
    return home.empty() ? home : home + "/.config";
}

std::vector<std::string> XdgDataFolders(Environment& env) {
    std::vector<std::string> folders;
    std::string dataHome = AbsoluteVar(env, "XDG_DATA_HOME");
    if (dataHome.empty()) {
        std::string home = HomeFolder(env);
        if (!home.empty()) dataHome = home + "/.local/share";
    }
    if (!dataHome.empty()) folders.push_back(dataHome);
    std::string dirs;
    bool anyDir = false;
    if (env.GetVar("XDG_DATA_DIRS", dirs)) {
        for (std::size_t from = 0; from <= dirs.size();) {
            std::size_t colon = dirs.find(':', from);
            if (colon == std::string::npos) colon = dirs.size();
            std::string dir = dirs.substr(from, colon - from);
            while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
            if (!dir.empty() && dir[0] == '/') {
                folders.push_back(dir);
                anyDir = true;
            }
            from = colon + 1;
        }
    }
    if (!anyDir) folders.insert(folders.end(), {"/usr/local/share", "/usr/share"});
    return folders;
}

} // namespace platform
