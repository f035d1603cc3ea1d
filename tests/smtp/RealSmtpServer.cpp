#include "smtp/RealSmtpServer.h"

#include <stdexcept>

namespace testutil {

RealSmtpServer::RealSmtpServer(const std::string& user, const std::string& password,
                               const std::vector<std::string>& extra)
    : m_server("smtp_server.py", [&] {
          std::vector<std::string> args = {"--dir", m_dir.Path(), "--user", user, "--password", password};
          args.insert(args.end(), extra.begin(), extra.end());
          return args;
      }()) {
    if (!Port()) throw std::runtime_error("aiosmtpd did not start (is python3-aiosmtpd installed?)");
}

} // namespace testutil
