#pragma once
// Debian's aiosmtpd run as a child process on 127.0.0.1 (tools/smtp_server.py).
#include <string>
#include <vector>

#include "TestUtil.h"
#include "ToolServer.h"

namespace testutil {

class RealSmtpServer {
public:
    // extra: more arguments for the script (--tls, --cert, --key, ...).
    RealSmtpServer(const std::string& user = "", const std::string& password = "",
                   const std::vector<std::string>& extra = {});
    int Port() const { return m_server.Port(); }
    // Message n (from 1) as stored, and its envelope: login, sender, recipients.
    std::string Message(int n) const { return ReadFile(m_dir.Path() + std::to_string(n) + ".eml"); }
    std::string Folder() const { return m_dir.Path(); }
    std::string Envelope(int n) const { return ReadFile(m_dir.Path() + std::to_string(n) + ".env"); }

private:
    TempDir m_dir;
    ToolServer m_server;
};

} // namespace testutil
