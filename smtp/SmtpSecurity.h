#pragma once
// How the SMTP connection is protected. The numbers are those stored in the
// SmtpSecurity setting.
#include <string>

enum SmtpSecurity : int {
    kSecurityNone = 0,  // plain TCP, the classic dialogue byte for byte
    kSecurityStartTls = 1,  // plain greeting, then STARTTLS before anything else
    kSecurityTls = 2,  // TLS from the first byte (usually port 465)
};

// "none", "starttls", "tls"; null for a number that is none of them.
const char* SecurityName(int nSecurity);
// The reverse; false for any other word.
bool ParseSecurity(const std::string& name, SmtpSecurity& security);
