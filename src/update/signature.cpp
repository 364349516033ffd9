#include "update/signature.h"

#include "data/files.h"
#include "platform/errors.h"

#include <QByteArray>

#include <sodium.h>

#ifndef WENLOW_UPDATE_KEY
#define WENLOW_UPDATE_KEY ""
#endif

namespace {

constexpr std::string_view Keyword = "wenlow-signature ed25519 ";

void startSodium() {
    if (sodium_init() < 0) throw Exception("The signature library cannot start");
}

std::string keyId(const std::string& publicKey) {
    return QByteArray::fromRawData(publicKey.data(), 8).toHex().toStdString();
}

std::string fromBase64(std::string_view text) {
    const auto result = QByteArray::fromBase64Encoding(QByteArray(text.data(), static_cast<qsizetype>(text.size())),
                                                       QByteArray::AbortOnBase64DecodingErrors);
    return result ? result.decoded.toStdString() : std::string();
}

}  // namespace

KeyPair generateKeyPair() {
    startSodium();
    unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES], seed[crypto_sign_SEEDBYTES];
    randombytes_buf(seed, sizeof seed);
    crypto_sign_seed_keypair(pk, sk, seed);
    KeyPair k{std::string(reinterpret_cast<char*>(pk), sizeof pk), std::string(reinterpret_cast<char*>(seed), sizeof seed)};
    sodium_memzero(sk, sizeof sk);
    sodium_memzero(seed, sizeof seed);
    return k;
}

std::string keyText(const std::string& raw) {
    return QByteArray(raw.data(), static_cast<qsizetype>(raw.size())).toBase64().toStdString() + "\n";
}

namespace {

std::string rawOf(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.remove_suffix(1);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    return fromBase64(text);
}

std::string publicKeyOf(const std::string& seed) {
    unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES];
    crypto_sign_seed_keypair(pk, sk, reinterpret_cast<const unsigned char*>(seed.data()));
    sodium_memzero(sk, sizeof sk);
    return std::string(reinterpret_cast<char*>(pk), sizeof pk);
}

}  // namespace

std::optional<std::string> keyFromText(std::string_view text) {
    std::string raw = rawOf(text);
    if (raw.size() != crypto_sign_PUBLICKEYBYTES) return std::nullopt;
    return raw;
}

std::string secretText(const KeyPair& key) { return keyText(key.seed + key.publicKey); }

std::optional<std::string> seedFromSecretText(std::string_view text) {
    startSodium();
    const std::string raw = rawOf(text);
    if (raw.size() != crypto_sign_SEEDBYTES + crypto_sign_PUBLICKEYBYTES) return std::nullopt;
    std::string seed = raw.substr(0, crypto_sign_SEEDBYTES);
    if (publicKeyOf(seed) != raw.substr(crypto_sign_SEEDBYTES)) return std::nullopt;
    return seed;
}

std::string signedList(std::string_view list, const std::string& seed) {
    startSodium();
    unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES], sig[crypto_sign_BYTES];
    crypto_sign_seed_keypair(pk, sk, reinterpret_cast<const unsigned char*>(seed.data()));
    crypto_sign_detached(sig, nullptr, reinterpret_cast<const unsigned char*>(list.data()), list.size(), sk);
    sodium_memzero(sk, sizeof sk);
    const std::string publicKey(reinterpret_cast<char*>(pk), sizeof pk);  // named by its key id
    std::string out = std::string(Keyword) + keyId(publicKey) + " " +
                      QByteArray(reinterpret_cast<char*>(sig), sizeof sig).toBase64().toStdString() + "\r\n";
    out.append(list);
    return out;
}

std::string signatureProblem(std::string_view list, const std::string& publicKey) {
    startSodium();
    const std::size_t eol = list.find('\n');
    std::string_view line = list.substr(0, eol);
    if (eol == std::string_view::npos || line.substr(0, Keyword.size()) != Keyword) return "The list has no signature";
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line.remove_prefix(Keyword.size());
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return "The list's signature line is not understood";
    if (line.substr(0, space) != keyId(publicKey)) return "The list is signed with another key";
    const std::string sig = fromBase64(line.substr(space + 1));
    const std::string_view body = list.substr(eol + 1);
    if (sig.size() != crypto_sign_BYTES ||
        crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(sig.data()),
                                    reinterpret_cast<const unsigned char*>(body.data()), body.size(),
                                    reinterpret_cast<const unsigned char*>(publicKey.data())) != 0)
        return "The list's signature is not valid";
    return {};
}

std::string trustedKey(const std::string& programDir) {
    const std::string file = programDir + KeyFileName;
    if (fileExists(file)) {
        if (auto key = keyFromText(readFileBytes(file))) return *key;
        throw Exception("The key in " + file + " is not understood");
    }
    if (auto key = keyFromText(WENLOW_UPDATE_KEY)) return *key;
    return {};
}
