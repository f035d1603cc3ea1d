#include "smtp/SendOutcome.h"

#include "app/Links.h"

std::string SendOutcomeText(bool bSuccess) {
    if (bSuccess) return "\r\nSent email successfully.";
    return std::string("\r\nFailed to sent email. Please check SMTP settings or contact us at <") + kSupportAddress +
           ">.";
}

std::string AsLogLine(std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        shown += text[i];
    }
    return shown + "\n";
}
