#pragma once
#include <string>

// The product's support contact, named in failure texts.
inline constexpr char kSupportAddress[] = "support@quillory.example";

// The text the log gets when a delivery ends, as the window shows it:
// it begins with CR LF, so an empty line stands before it.
std::string SendOutcomeText(bool bSuccess);
