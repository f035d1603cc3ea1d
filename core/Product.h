#pragma once
// The product's name, version and outgoing addresses, in one place for every
// window, message and command below or beside them.
#include <string>

#include "core/Version.h"

inline constexpr const char kHomePageUrl[] = "https://www.quillory.example/";
inline constexpr const char kSupportAddress[] = "support@quillory.example";

// Targets of the link commands, passed on as they stand: written already
// percent-encoded where a URI needs it.
inline std::string CheckUpdatesUrl() {
    return std::string(kHomePageUrl) + "checkforupdates/?ver=" + kQuilloryMajorMinor + "&build=" + kQuilloryBuild;
}
inline std::string FeedbackUrl() { return std::string("mailto:") + kSupportAddress; }
inline std::string TellFriendUrl() {
    return std::string("mailto:?subject=Quillory%20-%20very%20COOL%20application!!!&body=Download%20from%20") + kHomePageUrl;
}
