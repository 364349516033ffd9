// Writes the synthetic list as a data.dat of domain entries and as a squidGuard domains
// file, and the addresses to decide, each with the kind of address it is, for comparing
// whole programs:
//   listgen ENTRIES ADDRESSES DIR
// and the same names as lists are published (a hosts file, a domain list with IP
// addresses, a list of addresses), with addresses written as pages and people write them,
// in DIR/real.
#include "synthetic.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// Published lists: most names in a hosts file (0.0.0.0 or 127.0.0.1, comments, several
// names a line), the rest in a domain list with IP addresses among them, and a list of
// addresses (host/path). squidGuard gets the same entries as its domains and urls files.
void writeRealFormats(const std::vector<std::string>& hosts, const std::vector<std::string>& plain, const std::string& dir) {
    std::filesystem::create_directories(dir);
    std::ofstream hostsFile(dir + "/hosts.txt"), domains(dir + "/domains.txt"), urls(dir + "/urls.txt"),
        squidDomains(dir + "/squid-domains"), squidUrls(dir + "/squid-urls"), list(dir + "/addresses.txt"),
        requests(dir + "/requests.txt"), kinds(dir + "/kinds.txt");
    std::mt19937_64 rng(5);
    hostsFile << "# Title: a blocklist in hosts format\n# Updated: today\n\n127.0.0.1 localhost\n::1 localhost\n\n";
    domains << "# one name a line\n";
    std::vector<std::string> ips, paths;
    const std::size_t inHosts = hosts.size() * 6 / 10, inDomains = hosts.size() * 98 / 100;
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        const std::string& h = hosts[i];
        if (i < inHosts) {
            hostsFile << (i % 3 ? "0.0.0.0 " : "127.0.0.1 ") << h << (i % 50 == 0 ? "  # tracker\n" : "\n");
            squidDomains << h << "\n";
        } else if (i < inDomains) {
            if (i % 40 == 0) {
                // Malware lists name servers by address.
                const std::string ip = std::to_string(1 + rng() % 223) + "." + std::to_string(rng() % 256) + "." +
                                       std::to_string(rng() % 256) + "." + std::to_string(1 + rng() % 254);
                domains << ip << "\n";
                squidDomains << ip << "\n";
                ips.push_back(ip);
            }
            domains << h << "\n";
            squidDomains << h << "\n";
        } else {
            const std::string path = h + "/" + (i % 2 ? "download" : "ads/banner") + std::to_string(i % 97);
            urls << path << "\n";
            squidUrls << path << "\n";
            paths.push_back(path);
        }
    }
    // Most addresses are plain; others as links and people write them.
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const std::string& host = hosts[rng() % inDomains];
        std::string address = plain[i], kind = "plain";
        switch (i % 20) {
        case 1: address = "http://m." + host + "/x?q=a%20b&r=1", kind = "below a listed domain, with a query"; break;
        case 2: address = "http://" + ips[rng() % ips.size()] + "/gate.php", kind = "a listed IP address"; break;
        case 3: address = "http://" + paths[rng() % paths.size()] + "/file.zip", kind = "below a listed address"; break;
        case 4: address = "http://" + host + ":80/a", kind = "a listed domain with its default port"; break;
        case 5: address = "https://" + host + "./", kind = "a listed domain with a trailing dot"; break;
        case 6: address = "http://" + host + "/page#top", kind = "a listed domain with a fragment"; break;
        case 7: address = "http://WWW." + host + "/Index.HTML", kind = "upper case"; break;
        case 8: address = "http://" + host + "/a/../b/%7Euser", kind = "dot segments and escapes"; break;
        default: break;
        }
        list << address << "\n";
        requests << address << " 10.0.0.1/- - GET\n";
        kinds << kind << "\n";
    }
}

}  // namespace

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
    writeRealFormats(hosts, plain, dir + "/real");
    return 0;
}
