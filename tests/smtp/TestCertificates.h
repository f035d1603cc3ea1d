#pragma once
// A throwaway certificate authority and server certificates, made with the
// openssl command in a temporary folder when a test needs them.
#include <string>

#include "TestUtil.h"

namespace testutil {

class TestCertificates {
public:
    TestCertificates();  // the authority; throws when openssl fails
    const std::string& CaFile() const { return m_ca; }

    struct Issued {
        std::string cert, key;
    };
    enum class Kind { Valid, Expired, SelfSigned };
    // A server certificate for altNames ("DNS:localhost,IP:127.0.0.1").
    Issued Issue(const std::string& name, const std::string& altNames, Kind kind = Kind::Valid);

private:
    void Run(const std::string& args);
    TempDir m_dir;
    std::string m_ca;
};

} // namespace testutil
