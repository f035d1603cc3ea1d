#pragma once
// The product's outgoing addresses, in one place for every window and message.

inline constexpr const char kHomePageUrl[] = "https://www.quillory.example/";
inline constexpr const char kSupportAddress[] = "support@quillory.example";
