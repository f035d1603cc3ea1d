#pragma once
// The product's outgoing addresses, in one place for every window and message.
#include <string>

inline constexpr const char kHomePageUrl[] = "https://www.quillory.example/";
inline constexpr const char kSupportAddress[] = "support@quillory.example";

// Targets of the link commands, passed on as they stand (not percent-encoded).
inline std::string CheckUpdatesUrl() { return std::string(kHomePageUrl) + "checkforupdates/?ver=2.0&build=617"; }
inline std::string FeedbackUrl() { return std::string("mailto:") + kSupportAddress; }
inline std::string TellFriendUrl() {
    return std::string("mailto:?subject=Quillory - very COOL application!!!&body=Download from ") + kHomePageUrl;
}
