#pragma once
// A certificate authority of the test's own and a certificate it signed for "localhost"
// and 127.0.0.1, made with openssl, for loopback https servers.
#include "support/tempdir.h"

#include <cstdlib>
#include <string>

class TestAuthority {
public:
    TestAuthority() {
        dir_.write("site.ext", "subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\n");
        const std::string d = dir_.path(), quiet = " > " + d + "openssl.log 2>&1";
        const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
        made_ = std::system(("openssl req -x509" + key + " -keyout " + d + "ca.key -out " + d +
                             "ca.pem -days 2 -subj /CN=Wenlow-test-authority" + quiet).c_str()) == 0 &&
                std::system(("openssl req" + key + " -keyout " + d + "site.key -out " + d +
                             "site.csr -subj /CN=localhost" + quiet).c_str()) == 0 &&
                std::system(("openssl x509 -req -in " + d + "site.csr -CA " + d + "ca.pem -CAkey " + d +
                             "ca.key -CAcreateserial -days 2 -extfile " + d + "site.ext -out " + d + "site.pem" + quiet)
                                .c_str()) == 0;
    }
    bool made() const { return made_; }
    std::string caFile() const { return dir_.file("ca.pem"); }
    std::string certificate() const { return dir_.file("site.pem"); }
    std::string key() const { return dir_.file("site.key"); }

private:
    ProgramFolder dir_;
    bool made_ = false;
};
