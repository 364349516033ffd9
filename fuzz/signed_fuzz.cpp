// The list download with a key installed. The input gives the server's answer, and may
// give the key file's text, the number of the signed list stored before, and the bytes
// the harness signs with the trusted key (so that the number line and the list behind a
// valid signature are reached as well as the signature line). The program goes on;
// data.dat is the old file or the answer as stored; a stored list is signed with the
// trusted key and not older than the old one; the lists are those of data.dat on disk.
//
// Input: a mode byte, two bytes of the stored list's number, then the rest:
//   mode & 1: the key file's text is the rest up to its first LF (else the trusted key)
//   mode & 2: the harness signs what follows the answer's head (its first CR LF CR LF)
//   mode & 4: the stored list is signed with the trusted key; mode & 8: without a number
#include "downloadrig.h"
#include "update/signature.h"

#include <sodium.h>

#include <algorithm>
#include <cstdint>
#include <optional>

namespace {

const std::string Seed(32, '\x2a');
const std::string OldList = "starturls\r\n1http://old\r\nmainurls\r\nendurls\r\n";

// The trusted key: the public half of the harness's seed.
std::string trustedKey() {
    unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES];
    if (sodium_init() < 0) std::abort();
    crypto_sign_seed_keypair(pk, sk, reinterpret_cast<const unsigned char*>(Seed.data()));
    return std::string(reinterpret_cast<char*>(pk), sizeof pk);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static DownloadRig rig;
    static const std::string publicKey = trustedKey();
    if (size < 3) return 0;
    const unsigned mode = data[0];
    const unsigned storedNumber = data[1] | data[2] << 8;
    std::string rest(reinterpret_cast<const char*>(data) + 3, size - 3);

    std::string keyFile = keyText(publicKey);
    if (mode & 1) {
        const std::size_t eol = std::min(rest.find('\n'), rest.size());
        keyFile = rest.substr(0, eol + 1);
        rest.erase(0, eol + 1);
    }
    std::string answer = rest;
    if (mode & 2) {
        const std::size_t head = rest.find("\r\n\r\n");
        answer = head == std::string::npos ? "HTTP/1.0 200 OK\r\n\r\n" + signedBytes(rest, Seed)
                                           : rest.substr(0, head + 4) + signedBytes(rest.substr(head + 4), Seed);
    }
    std::string old = OldList;
    if (mode & 4)
        old = "HTTP/1.0 200 OK\r\n\r\n" + ((mode & 8) ? signedBytes(OldList, Seed) : signedList(OldList, Seed, storedNumber));

    writeFileSafely(rig.folder + KeyFileName, keyFile);
    LoopbackPeer peer;
    try {
        rig.start(peer, old);
    } catch (const std::exception&) {
        // A key file that gives no key: nothing may be stored.
        if (keyFromText(keyFile) == publicKey || !rig.ended || rig.stored) std::abort();
        if (readFileBytes(rig.folder + "data.dat") != old) std::abort();
        return 0;
    }
    rig.serve(peer, answer);

    const std::string now = readFileBytes(rig.folder + "data.dat");
    if (!rig.stored) {
        if (now != old) std::abort();
    } else {
        if (now != answer.substr(0, answer.find('\0'))) std::abort();
        if (keyFromText(keyFile) != publicKey) std::abort();
        const SignatureCheck check = checkSignature(answerBody(answer), publicKey);
        if (!check.problem.empty()) std::abort();
        if (!orderProblem(listText(old), publicKey, check.number).empty()) std::abort();
    }
    rig.checkListsFromDisk();
    return 0;
}
