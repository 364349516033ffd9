// Writes the synthetic list as a data.dat of domain entries and as a squidGuard domains
// file, and the addresses to decide, each with the kind of address it is, for comparing
// whole programs:
//   listgen ENTRIES ADDRESSES DIR
#include "synthetic.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: listgen ENTRIES ADDRESSES DIR\n");
        return 2;
    }
    const auto hosts = syntheticHosts(std::strtoul(argv[1], nullptr, 10));
    const auto plain = syntheticAddresses(hosts, std::strtoul(argv[2], nullptr, 10));
    const std::string dir = argv[3];
    std::ofstream data(dir + "/data.dat", std::ios::binary), domains(dir + "/domains"),
        list(dir + "/addresses.txt"), requests(dir + "/requests.txt"), kinds(dir + "/kinds.txt");
    data << "starturls\r\n";
    for (const auto& h : hosts) {
        data << "2" << h << "\r\n";
        domains << h << "\n";
    }
    data << "mainurls\r\nendurls\r\n";
    // Besides plain addresses, the forms a domain entry must and must not catch.
    std::mt19937_64 rng(99);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const std::string& host = hosts[rng() % hosts.size()];
        std::string address = plain[i], kind = "plain";
        switch (i % 8) {
        case 1: address = "http://m." + host + "/x", kind = "below a listed domain"; break;
        case 2: address = "http://" + host + ".other.org/", kind = "a listed name, then more labels"; break;
        case 3: address = "http://not" + host + "/", kind = "a listed name with letters before it"; break;
        case 4: address = "http://" + host + ":8080/a", kind = "a listed domain with a port"; break;
        case 5: address = "http://" + host + "./", kind = "a listed domain with a trailing dot"; break;
        case 6: address = "http://kids.org@" + host + "/", kind = "user info before a listed domain"; break;
        default: break;
        }
        list << address << "\n";
        requests << address << " 10.0.0.1/- - GET\n";  // squidGuard's request lines
        kinds << kind << "\n";
    }
    return 0;
}
