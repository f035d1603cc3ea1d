#include "platform/Keyring.h"

#include <libsecret/secret.h>

namespace platform {
namespace {

const SecretSchema* Schema() {
    static const SecretSchema schema = {
        "org.quillory.SmtpPassword",
        SECRET_SCHEMA_DONT_MATCH_NAME,
        {
            {"application", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"port", SECRET_SCHEMA_ATTRIBUTE_INTEGER},
            {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    };
    return &schema;
}

// No bus, or no service on it, is "not there"; anything else is a failure.
KeyringResult Judge(GError* error, std::string& err) {
    err = error->message ? error->message : "unknown error";
    // A remote error the bus could not map came from a service that answered.
    bool absent = error->domain == G_DBUS_ERROR ||
                  (error->domain == G_IO_ERROR && error->code != G_IO_ERROR_DBUS_ERROR);
    g_error_free(error);
    return absent ? KeyringResult::Unavailable : KeyringResult::Failed;
}

// Asks the Secret Service to unlock the collection new passwords go to; it
// prompts the user where a prompter exists. False with the reason when the
// collection stays locked.
bool UnlockDefaultCollection(std::string& err) {
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    SecretCollection* collection = nullptr;
    if (service)
        collection = secret_collection_for_alias_sync(service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE,
                                                      nullptr, &error);
    bool unlocked = false;
    if (collection) {
        GList one = {collection, nullptr, nullptr};
        unlocked = secret_service_unlock_sync(service, &one, nullptr, nullptr, &error) > 0;
        g_object_unref(collection);
    }
    if (service) g_object_unref(service);
    err = "the keyring is locked and was not unlocked";
    if (error) {
        err += std::string(": ") + (error->message ? error->message : "unknown error");
        g_error_free(error);
    }
    return unlocked;
}

class SecretServiceKeyring : public Keyring {
public:
    KeyringResult Store(const SecretKey& key, const std::string& secret, std::string& err) override {
        GError* error = nullptr;
        std::string label = "Quillory SMTP password for " + key.user + "@" + key.server;
        gboolean ok = FALSE;
        for (int attempt = 0; attempt < 2; ++attempt) {
            ok = secret_password_store_sync(Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), secret.c_str(),
                                            nullptr, &error, "application", "quillory", "server",
                                            key.server.c_str(), "port", key.port, "user", key.user.c_str(),
                                            nullptr);
            // A locked keyring is there: ask it to open, once, rather than look elsewhere.
            if (attempt > 0 || !g_error_matches(error, SECRET_ERROR, SECRET_ERROR_IS_LOCKED)) break;
            g_clear_error(&error);
            if (!UnlockDefaultCollection(err)) return KeyringResult::Failed;
        }
        if (error) return Judge(error, err);
        if (!ok) {
            err = "the keyring did not store the password";
            return KeyringResult::Failed;
        }
        return KeyringResult::Ok;
    }

    KeyringResult Lookup(const SecretKey& key, std::string& secret, std::string& err) override {
        GError* error = nullptr;
        gchar* found = secret_password_lookup_sync(Schema(), nullptr, &error, "application", "quillory", "server",
                                                   key.server.c_str(), "port", key.port, "user", key.user.c_str(),
                                                   nullptr);
        if (error) return Judge(error, err);
        if (found) {
            secret = found;
            secret_password_free(found);
            return KeyringResult::Ok;
        }
        // A locked keyring answers like an empty one; ask whether an item
        // exists, and to unlock it if so (the user may be prompted).
        GList* items = secret_password_search_sync(
            Schema(), static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK), nullptr, &error,
            "application", "quillory", "server", key.server.c_str(), "port", key.port, "user", key.user.c_str(),
            nullptr);
        if (error) return Judge(error, err);
        bool exists = items != nullptr;
        g_list_free_full(items, g_object_unref);
        if (!exists) return KeyringResult::NotFound;
        found = secret_password_lookup_sync(Schema(), nullptr, &error, "application", "quillory", "server",
                                            key.server.c_str(), "port", key.port, "user", key.user.c_str(), nullptr);
        if (error) return Judge(error, err);
        if (found) {
            secret = found;
            secret_password_free(found);
            return KeyringResult::Ok;
        }
        err = "the keyring is locked and was not unlocked";
        return KeyringResult::Failed;
    }

    KeyringResult Remove(const SecretKey& key, std::string& err) override {
        GError* error = nullptr;
        gboolean removed = secret_password_clear_sync(Schema(), nullptr, &error, "application", "quillory", "server",
                                                      key.server.c_str(), "port", key.port, "user",
                                                      key.user.c_str(), nullptr);
        if (error) return Judge(error, err);
        return removed ? KeyringResult::Ok : KeyringResult::NotFound;
    }
};

class AbsentKeyring : public Keyring {
public:
    KeyringResult Store(const SecretKey&, const std::string&, std::string& err) override { return Absent(err); }
    KeyringResult Lookup(const SecretKey&, std::string&, std::string& err) override { return Absent(err); }
    KeyringResult Remove(const SecretKey&, std::string& err) override { return Absent(err); }

private:
    static KeyringResult Absent(std::string& err) {
        err = "no keyring";
        return KeyringResult::Unavailable;
    }
};

} // namespace

Keyring& RealKeyring() {
    static SecretServiceKeyring k;
    return k;
}

Keyring& NoKeyring() {
    static AbsentKeyring k;
    return k;
}

} // namespace platform
