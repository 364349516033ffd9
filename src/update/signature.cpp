#include "update/signature.h"

#include "data/files.h"
#include "platform/errors.h"

#include "platform/text.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <ctime>

#include <sodium.h>
#include <sys/stat.h>

#ifndef WENLOW_UPDATE_KEY
#define WENLOW_UPDATE_KEY ""
#endif

namespace {

constexpr std::string_view Keyword = "wenlow-signature ed25519 ";
constexpr std::string_view NumberKeyword = "wenlow-serial ";

void startSodium() {
    if (sodium_init() < 0) throw Exception("The signature library cannot start");
}

// The first line of a text (it ends at LF, with an optional CR) and what follows it;
// nothing when no line end comes.
struct Line {
    std::string_view text;
    std::string_view rest;
};
std::optional<Line> firstLine(std::string_view s) {
    const std::size_t eol = s.find('\n');
    if (eol == std::string_view::npos) return std::nullopt;
    std::string_view line = s.substr(0, eol);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return Line{line, s.substr(eol + 1)};
}

bool isBase64(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' || c == '=';
    });
}

enum class Number { None, Given, NotUnderstood };

// The number a line gives, when it is a number line.
Number numberLine(std::string_view line, std::uint64_t& number) {
    if (!startsWith(line, NumberKeyword)) return Number::None;
    line.remove_prefix(NumberKeyword.size());
    const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), number);
    if (ec != std::errc() || end != line.data() + line.size()) return Number::NotUnderstood;
    return Number::Given;
}

std::string fromBase64(std::string_view text) {
    const auto result = QByteArray::fromBase64Encoding(QByteArray(text.data(), static_cast<qsizetype>(text.size())),
                                                       QByteArray::AbortOnBase64DecodingErrors);
    return result ? result.decoded.toStdString() : std::string();
}

}  // namespace

std::string keyId(const std::string& publicKey) {
    return QByteArray::fromRawData(publicKey.data(), 8).toHex().toStdString();
}

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

std::uint64_t signingTime() { return static_cast<std::uint64_t>(std::time(nullptr)); }

std::string signedBytes(std::string_view bytes, const std::string& seed) {
    startSodium();
    unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES], sig[crypto_sign_BYTES];
    crypto_sign_seed_keypair(pk, sk, reinterpret_cast<const unsigned char*>(seed.data()));
    crypto_sign_detached(sig, nullptr, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), sk);
    sodium_memzero(sk, sizeof sk);
    const std::string publicKey(reinterpret_cast<char*>(pk), sizeof pk);  // named by its key id
    std::string out = std::string(Keyword) + keyId(publicKey) + " " +
                      QByteArray(reinterpret_cast<char*>(sig), sizeof sig).toBase64().toStdString() + "\r\n";
    out.append(bytes);
    return out;
}

std::string signedList(std::string_view list, const std::string& seed, std::uint64_t number) {
    std::string bytes = std::string(NumberKeyword) + std::to_string(number) + "\r\n";
    bytes.append(list);
    return signedBytes(bytes, seed);
}

SignatureCheck checkSignature(std::string_view list, const std::string& publicKey) {
    startSodium();
    const auto line = firstLine(list);
    if (!line || !startsWith(line->text, Keyword)) return {"The list has no signature", {}};
    // Strictly the three fields: nothing in this unsigned line may read as a list line.
    const std::string_view fields = line->text.substr(Keyword.size());
    const std::size_t space = fields.find(' ');
    if (space == std::string_view::npos || !isBase64(fields.substr(space + 1)))
        return {"The list's signature line is not understood", {}};
    if (fields.substr(0, space) != keyId(publicKey)) return {"The list is signed with another key", {}};
    const std::string sig = fromBase64(fields.substr(space + 1));
    const std::string_view body = line->rest;
    if (sig.size() != crypto_sign_BYTES ||
        crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(sig.data()),
                                    reinterpret_cast<const unsigned char*>(body.data()), body.size(),
                                    reinterpret_cast<const unsigned char*>(publicKey.data())) != 0)
        return {"The list's signature is not valid", {}};
    SignatureCheck check;
    std::uint64_t number = 0;
    const auto second = firstLine(body);
    const Number kind = second ? numberLine(second->text, number) : Number::None;
    if (kind == Number::NotUnderstood) check.problem = "The list's number is not understood: " + std::string(second->text);
    if (kind == Number::Given) check.number = number;
    return check;
}

std::string orderProblem(std::string_view stored, const std::string& publicKey, std::optional<std::uint64_t> number) {
    const auto line = firstLine(stored);
    if (!line || !startsWith(line->text, std::string(Keyword) + keyId(publicKey) + " ")) return {};
    const auto second = firstLine(line->rest);
    std::uint64_t storedNumber = 0;
    const bool numbered = second && numberLine(second->text, storedNumber) == Number::Given;
    const std::string older = "The list is older than the one stored: ";
    if (!number) return older + "it carries no number, and a list of its key is stored already";
    if (numbered && *number < storedNumber)
        return older + "its number is " + std::to_string(*number) + ", the stored list's " + std::to_string(storedNumber);
    return {};
}

std::string trustedKey(const std::string& programDir) {
    const std::string file = programDir + KeyFileName;
    // Any entry of that name counts, a link to nowhere too: it is read, or it refuses.
    // Only a folder that surely has none means "no key".
    struct stat entry {};
    if (::lstat(file.c_str(), &entry) == 0 || errno != ENOENT) {
        std::string text;
        try {
            text = readFileBytes(file);
        } catch (const std::exception&) {
            throw Exception("The key in " + file + " cannot be read");
        }
        if (auto key = keyFromText(text)) return *key;
        throw Exception("The key in " + file + " is not understood");
    }
    if (auto key = keyFromText(WENLOW_UPDATE_KEY)) return *key;
    return {};
}
