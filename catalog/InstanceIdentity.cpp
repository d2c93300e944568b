#include "catalog/InstanceIdentity.h"

#include "catalog/IdentityChallenge.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

namespace instance_identity {

std::string loadOrCreateSecret(const std::string& folder) {
    const std::string path = folder + "/" + identity_challenge::kSecretFileName;
    if (std::string secret = identity_challenge::readSecret(path); !secret.empty())
        return secret;
    std::string secret = identity_challenge::randomHex(identity_challenge::kSecretBytes);
    if (secret.empty())
        throw std::runtime_error("no random bytes for the catalogue's secret");
    // Written whole under a temporary name and linked, so that two instances
    // starting at once end up with one secret, and an existing file (whoever
    // made it) is never overwritten.
    const std::string temporary = path + "." + std::to_string(getpid());
    const int fd =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 || write(fd, secret.data(), secret.size()) != static_cast<ssize_t>(secret.size()) ||
        fsync(fd) != 0) {
        if (fd >= 0)
            close(fd);
        unlink(temporary.c_str());
        throw std::runtime_error("cannot write " + path);
    }
    close(fd);
    const bool linked = link(temporary.c_str(), path.c_str()) == 0;
    unlink(temporary.c_str());
    if (linked)
        return secret;
    // Another instance was first, or the file there is unusable.
    if (std::string theirs = identity_challenge::readSecret(path); !theirs.empty())
        return theirs;
    throw std::runtime_error(path + " is not yours alone or is damaged; remove it");
}

std::string keyedHash(const std::string& key, const std::string& message) {
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
              reinterpret_cast<const unsigned char*>(message.data()), message.size(), hash, &size))
        throw std::runtime_error("HMAC-SHA256 failed");
    return identity_challenge::hex(hash, size);
}

std::string proof(const std::string& secret, int port, const std::string& nonce) {
    return keyedHash(secret, identity_challenge::challenge(port, nonce));
}

} // namespace instance_identity
