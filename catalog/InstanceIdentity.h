#pragma once

#include <string>

// The catalogue's side of the identity challenge (catalog/IdentityChallenge.h):
// the user's secret, and the proof /api/identity answers a nonce with.
namespace instance_identity {

// Reads the secret kept in the folder, making it (0600) on first use. Throws
// std::runtime_error when there is none to be had, or when the file there is
// not the user's own or is open to others.
std::string loadOrCreateSecret(const std::string& folder);
// HMAC-SHA256 of the message under the key, as lowercase hex.
std::string keyedHash(const std::string& key, const std::string& message);
// What /api/identity answers the nonce with on the port.
std::string proof(const std::string& secret, int port, const std::string& nonce);

} // namespace instance_identity
