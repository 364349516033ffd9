#pragma once
// A certificate authority of the test's own and a certificate it signed for "localhost"
// and 127.0.0.1 (scripts/authority.sh), for loopback https servers.
#include "support/tempdir.h"

#include <cstdlib>
#include <string>

class TestAuthority {
public:
    TestAuthority()
        : made_(std::system(
                    ("bash " WENLOW_SOURCE_DIR "/scripts/authority.sh " + dir_.path() + " > /dev/null 2>&1").c_str()) ==
                0) {}
    bool made() const { return made_; }
    std::string caFile() const { return dir_.file("ca.pem"); }
    std::string certificate() const { return dir_.file("site.pem"); }
    std::string key() const { return dir_.file("site.key"); }

private:
    ProgramFolder dir_;
    bool made_;
};
