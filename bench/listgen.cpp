// Writes the synthetic list as a data.dat and as a squidGuard domains file, and the
// addresses to decide, for comparing whole programs:
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
    const auto addresses = syntheticAddresses(hosts, std::strtoul(argv[2], nullptr, 10));
    const std::string dir = argv[3];
    std::ofstream data(dir + "/data.dat", std::ios::binary), domains(dir + "/domains"),
        list(dir + "/addresses.txt"), requests(dir + "/requests.txt");
    data << "starturls\r\n";
    for (const auto& h : hosts) {
        data << "1http://" << h << "\r\n";
        domains << h << "\n";
    }
    data << "mainurls\r\nendurls\r\n";
    for (const auto& a : addresses) {
        list << a << "\n";
        requests << a << " 10.0.0.1/- - GET\n";  // squidGuard's request lines
    }
    return 0;
}
