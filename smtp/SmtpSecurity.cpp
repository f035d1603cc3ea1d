#include "smtp/SmtpSecurity.h"

namespace {
const char* const kNames[] = {"none", "starttls", "tls"};
}

const char* SecurityName(int nSecurity) {
    return nSecurity >= kSecurityNone && nSecurity <= kSecurityTls ? kNames[nSecurity] : nullptr;
}

bool ParseSecurity(const std::string& name, int& nSecurity) {
    for (int i = kSecurityNone; i <= kSecurityTls; ++i) {
        if (name == kNames[i]) {
            nSecurity = i;
            return true;
        }
    }
    return false;
}
