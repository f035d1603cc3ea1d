#include "smtp/Options.h"

void AppOptionsOverlay::ApplyTo(AppOptions& o) const {
    if (SmtpServer) o.SmtpServer = *SmtpServer;
    if (SmtpPort) o.SmtpPort = *SmtpPort;
    if (Security) o.Security = *Security;
    if (SrvReqAuth) o.SrvReqAuth = *SrvReqAuth;
    if (AuthName) o.AuthName = *AuthName;
    if (AuthPass) o.AuthPass = *AuthPass;
    if (AuthMethod) o.AuthMethod = *AuthMethod;
    if (OAuthTokenCommand) o.OAuthTokenCommand = *OAuthTokenCommand;
    if (BrowseOutputFolder) o.BrowseOutputFolder = *BrowseOutputFolder;
    if (OpenEml) o.OpenEml = *OpenEml;
    if (PrepareForWebmail) o.PrepareForWebmail = *PrepareForWebmail;
}

void MailFieldsOverlay::ApplyTo(MailFields& m) const {
    if (MailFrom) m.MailFrom = *MailFrom;
    if (MailTo) m.MailTo = *MailTo;
    if (MailCc) m.MailCc = *MailCc;
    if (MailSubject) m.MailSubject = *MailSubject;
}

bool ParsePort(std::string_view text, int& port) {
    if (text.empty() || text.size() > 5) return false;
    long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (!IsValidPort(v)) return false;
    port = static_cast<int>(v);
    return true;
}
