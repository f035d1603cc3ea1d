#pragma once
// The desktop's keyring (the Secret Service: GNOME Keyring, KWallet), where
// the SMTP password is kept instead of the settings file when there is one.
#include <string>

namespace platform {

// What a stored password is filed under, besides application=quillory.
struct SecretKey {
    std::string server;
    int port = 0;
    std::string user;
};

enum class KeyringResult {
    Ok,
    NotFound,     // the keyring answered: nothing stored under that key
    Unavailable,  // no Secret Service (no session bus, nothing answering)
    Failed,       // it answered with an error, or it is locked and was not unlocked
};

class Keyring {
public:
    virtual ~Keyring() = default;
    // Each call says why in err unless it returns Ok or NotFound. Store and
    // Lookup ask a locked keyring to unlock (the user may be prompted).
    virtual KeyringResult Store(const SecretKey& key, const std::string& secret, std::string& err) = 0;
    virtual KeyringResult Lookup(const SecretKey& key, std::string& secret, std::string& err) = 0;
    virtual KeyringResult Remove(const SecretKey& key, std::string& err) = 0;
};

// The Secret Service of the session bus, through libsecret.
Keyring& RealKeyring();
// A keyring that is never there: for tests, and where none may be used.
Keyring& NoKeyring();

} // namespace platform
