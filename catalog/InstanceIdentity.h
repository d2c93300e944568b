#pragma once

#include <string>

// How one instance of the service recognises another of the same user on its
// port: /api/identity answers the user id and a random secret kept in the
// user's data folder (0600, in a 0700 folder), which another user cannot read.
namespace instance_identity {

// Reads the secret from the folder, making it on first use.
std::string LoadOrCreateSecret(const std::string& dataFolder);
// The answer of /api/identity for this user and secret.
std::string Text(unsigned uid, const std::string& secret);
// Whether whatever listens on address:port is owned by this user (as far as
// the kernel's socket table tells) and answers /api/identity with exactly
// this text (within a short time; false on any failure).
bool Answers(const std::string& address, int port, const std::string& identity);

} // namespace instance_identity
