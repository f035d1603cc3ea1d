#pragma once
// The freedesktop.org base folders. One rule for all of them: an entry that is
// not an absolute path is ignored, and an empty or unusable variable falls back
// to its default.
#include <string>
#include <vector>

#include "platform/Environment.h"

namespace platform {

// $HOME, or the home folder of the user's account when HOME is unset or empty;
// empty when neither is known.
std::string HomeFolder(Environment& env);

// $XDG_CONFIG_HOME, or ~/.config; empty when no home is known.
std::string XdgConfigHome(Environment& env);

// $XDG_DATA_HOME (or ~/.local/share) followed by each $XDG_DATA_DIRS entry
// (or /usr/local/share and /usr/share): the data folders, most personal first.
std::vector<std::string> XdgDataFolders(Environment& env);

} // namespace platform
