#include "smtp/SendOutcome.h"

std::string SendOutcomeText(bool bSuccess) {
    if (bSuccess) return "\r\nSent email successfully.";
    return std::string("\r\nFailed to sent email. Please check SMTP settings or contact us at <") + kSupportAddress +
           ">.";
}
