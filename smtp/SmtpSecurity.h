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

// How the client logs in when the server requires it. The numbers are those
// stored in the AuthMethod setting.
enum SmtpAuthMethod : int {
    kAuthAuto = 0,     // the best the server offers: XOAUTH2 with a token command, else LOGIN, or PLAIN inside TLS
    kAuthLogin = 1,
    kAuthPlain = 2,
    kAuthXOAuth2 = 3,  // an access token from the token command
};

// "auto", "login", "plain", "xoauth2"; null for any other number.
const char* AuthMethodName(int nMethod);
bool ParseAuthMethod(const std::string& name, SmtpAuthMethod& method);
