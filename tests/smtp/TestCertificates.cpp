#include "smtp/TestCertificates.h"

#include <stdexcept>

namespace testutil {

namespace {
// P-256 keys: quick to make, and every TLS 1.2 and 1.3 peer takes them.
const char kNewKey[] = " -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes";
} // namespace

void TestCertificates::Run(const std::string& args) {
    std::string out;
    if (RunCommand("cd '" + m_dir.Path() + "' && /usr/bin/openssl " + args + " 2>&1", &out) != 0)
        throw std::runtime_error("openssl " + args + ": " + out);
}

TestCertificates::TestCertificates() {
    Run(std::string("req -x509") + kNewKey +
        " -keyout ca.key -out ca.pem -days 2 -subj '/CN=Quillory Test CA'"
        " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign");
    m_ca = m_dir.Path() + "ca.pem";
}

TestCertificates::Issued TestCertificates::Issue(const std::string& name, const std::string& altNames, Kind kind) {
    std::string ext = "subjectAltName=" + altNames + "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n";
    m_dir.Write(name + ".ext", ext);
    Issued out{m_dir.Path() + name + ".pem", m_dir.Path() + name + ".key"};
    if (kind == Kind::SelfSigned) {
        Run(std::string("req -x509") + kNewKey + " -keyout " + name + ".key -out " + name + ".pem -days 2 -subj /CN=" +
            name + " -addext subjectAltName=" + altNames);
        return out;
    }
    Run(std::string("req") + kNewKey + " -keyout " + name + ".key -out " + name + ".csr -subj /CN=" + name);
    // -days -1 puts the end of validity before its start: expired from the outset.
    Run("x509 -req -in " + name + ".csr -CA ca.pem -CAkey ca.key -CAcreateserial -out " + name + ".pem -days " +
        (kind == Kind::Expired ? "-1" : "2") + " -extfile " + name + ".ext");
    return out;
}

} // namespace testutil
