#pragma once
// The product's name, version and outgoing addresses, in one place for every
// window, message and command below or beside them.
#include <string>

#include "core/Version.h"

inline constexpr const char kHomePageUrl[] = "https://www.quillory.example/";
inline constexpr const char kSupportAddress[] = "support@quillory.example";

// Targets of the link commands, passed on as they stand (not percent-encoded).
inline std::string CheckUpdatesUrl() {
    return std::string(kHomePageUrl) + "checkforupdates/?ver=" + kQuilloryMajorMinor + "&build=" + kQuilloryBuild;
}
inline std::string FeedbackUrl() { return std::string("mailto:") + kSupportAddress; }
inline std::string TellFriendUrl() {
    return std::string("mailto:?subject=Quillory - very COOL application!!!&body=Download from ") + kHomePageUrl;
}
