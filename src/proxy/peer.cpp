#include "proxy/peer.h"

#include <dirent.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace {

// The inode of the socket at `from` connected to `to`, asked of the kernel by its four
// numbers; 0 when there is none.
std::uint32_t socketInode(const sockaddr_in& from, const sockaddr_in& to) {
    const int nl = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (nl < 0) return 0;
    struct {
        nlmsghdr head;
        inet_diag_req_v2 req;
    } ask{};
    ask.head.nlmsg_len = sizeof ask;
    ask.head.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    ask.head.nlmsg_flags = NLM_F_REQUEST;
    ask.req.sdiag_family = AF_INET;
    ask.req.sdiag_protocol = IPPROTO_TCP;
    ask.req.idiag_states = ~0u;
    ask.req.id.idiag_sport = from.sin_port;
    ask.req.id.idiag_dport = to.sin_port;
    ask.req.id.idiag_src[0] = from.sin_addr.s_addr;
    ask.req.id.idiag_dst[0] = to.sin_addr.s_addr;
    ask.req.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    ask.req.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    std::uint32_t inode = 0;
    alignas(nlmsghdr) char answer[1024];
    if (::sendto(nl, &ask, sizeof ask, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) == sizeof ask) {
        const ssize_t n = ::recv(nl, answer, sizeof answer, 0);
        const auto* head = reinterpret_cast<const nlmsghdr*>(answer);
        if (n > 0 && NLMSG_OK(head, static_cast<unsigned>(n)) && head->nlmsg_type == SOCK_DIAG_BY_FAMILY &&
            head->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg)))
            inode = static_cast<const inet_diag_msg*>(NLMSG_DATA(head))->idiag_inode;
    }
    ::close(nl);
    return inode;
}

// Read by name from /proc, never through the descriptors themselves, which other threads
// may be closing meanwhile.
bool holdsSocket(std::uint32_t inode) {
    DIR* fds = ::opendir("/proc/self/fd");
    if (!fds) return false;
    const std::string wanted = "socket:[" + std::to_string(inode) + "]";
    char target[64];
    bool held = false;
    while (const dirent* e = ::readdir(fds)) {
        const ssize_t n = ::readlinkat(::dirfd(fds), e->d_name, target, sizeof target);
        if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)) == wanted) {
            held = true;
            break;
        }
    }
    ::closedir(fds);
    return held;
}

}  // namespace

bool peerIsThisProcess(int fd) {
    sockaddr_in self{}, peer{};
    socklen_t selfLen = sizeof self, peerLen = sizeof peer;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&self), &selfLen) != 0 ||
        ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0 || self.sin_family != AF_INET ||
        peer.sin_family != AF_INET)
        return false;
    const std::uint32_t inode = socketInode(peer, self);
    return inode != 0 && holdsSocket(inode);
}
