#pragma once
// Lists signed by their publisher (Ed25519). A signed list carries one line before
// "starturls", which every list reader skips:
//   wenlow-signature ed25519 KEYID SIGNATURE
// KEYID is the first 8 bytes of the public key in hex, SIGNATURE the 64-byte signature in
// base64, over every byte of the list after that line's line end. Keys are kept as
// base64 text: update.key the 32-byte public key, update.secret the 32-byte seed followed
// by the public key (so that a public key given as a secret one is told apart).
#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* KeyFileName = "update.key";

struct KeyPair {
    std::string publicKey;  // 32 bytes
    std::string seed;       // 32 bytes
};
KeyPair generateKeyPair();

std::string keyText(const std::string& raw);                  // base64 and a line end
std::optional<std::string> keyFromText(std::string_view text);  // 32 bytes, or nothing
std::string secretText(const KeyPair& key);
std::optional<std::string> seedFromSecretText(std::string_view text);  // 32 bytes, or nothing

// The list with its signature line in front.
std::string signedList(std::string_view list, const std::string& seed);

// Why a list (the answer's body) is not signed with this public key, or empty when it is.
std::string signatureProblem(std::string_view list, const std::string& publicKey);

// The key lists must be signed with: update.key in the program folder, else the one this
// build was made with, else none (lists are then stored unchecked). Raises when
// update.key is there but holds no key: a damaged key never means "not checked".
std::string trustedKey(const std::string& programDir);
