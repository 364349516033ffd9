#pragma once
// Lists signed by their publisher (Ed25519). A signed list begins with two lines before
// "starturls", which every list reader skips:
//   wenlow-signature ed25519 KEYID SIGNATURE
//   wenlow-serial NUMBER
// KEYID is the first 8 bytes of the public key in hex, SIGNATURE the 64-byte signature in
// base64, over every byte after the signature line's line end: the number and the list.
// The publisher raises NUMBER (decimal) with every list, so that an older list of the
// same key never replaces a newer one. A list without the number line (the first signed
// format) is taken only as the first list of its key. Keys are kept as base64 text:
// update.key the 32-byte public key, update.secret the 32-byte seed followed by the
// public key (so that a public key given as a secret one is told apart).
#include <cstdint>
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

// The time of signing: the number a list gets unless its publisher gives one.
std::uint64_t signingTime();
// The list with its signature and number lines in front.
std::string signedList(std::string_view list, const std::string& seed, std::uint64_t number = signingTime());
// Any bytes with a signature line in front (a list without a number is the first format).
std::string signedBytes(std::string_view bytes, const std::string& seed);

struct SignatureCheck {
    std::string problem;                  // empty when signed with the key
    std::optional<std::uint64_t> number;  // none in the first format
};
// Whether a list (the answer's body) is signed with this public key, and its number.
SignatureCheck checkSignature(std::string_view list, const std::string& publicKey);
inline std::string signatureProblem(std::string_view list, const std::string& publicKey) {
    return checkSignature(list, publicKey).problem;
}
// The key id a signature line names: the first 8 bytes of the key in hex.
std::string keyId(const std::string& publicKey);

// Why a list of this key and number (none: the first format) must not replace the stored
// one, whose list text (as read from data.dat, head skipped) begins `stored`; empty when
// it may. A stored list of another key, or unsigned, takes any list of this key.
std::string orderProblem(std::string_view stored, const std::string& publicKey, std::optional<std::uint64_t> number);

// The key lists must be signed with: update.key in the program folder, else the one this
// build was made with, else none (lists are then stored unchecked). Raises when an
// update.key entry is there but gives no key (damaged, unreadable, a dangling link): a key
// that cannot be read never means "not checked".
std::string trustedKey(const std::string& programDir);
