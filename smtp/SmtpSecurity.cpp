#include "smtp/SmtpSecurity.h"

namespace {
const char* const kNames[] = {"none", "starttls", "tls"};
}

const char* SecurityName(int nSecurity) {
    return nSecurity >= kSecurityNone && nSecurity <= kSecurityTls ? kNames[nSecurity] : nullptr;
}

bool ParseSecurity(const std::string& name, SmtpSecurity& security) {
    for (int i = kSecurityNone; i <= kSecurityTls; ++i) {
        if (name == kNames[i]) {
            security = static_cast<SmtpSecurity>(i);
            return true;
        }
    }
    return false;
}
