#include "smtp/SmtpSecurity.h"

namespace {
const char* const kNames[] = {"none", "starttls", "tls"};
const char* const kMethods[] = {"auto", "login", "plain", "xoauth2"};
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

const char* AuthMethodName(int nMethod) { return nMethod >= kAuthAuto && nMethod <= kAuthXOAuth2 ? kMethods[nMethod] : nullptr; }

bool ParseAuthMethod(const std::string& name, SmtpAuthMethod& method) {
    for (int i = kAuthAuto; i <= kAuthXOAuth2; ++i) {
        if (name == kMethods[i]) {
            method = static_cast<SmtpAuthMethod>(i);
            return true;
        }
    }
    return false;
}
