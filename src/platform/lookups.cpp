// The asynchronous look-ups of the Winsock layer: host names, addresses and services,
// each posted back as a window message: answered at once from this machine's own tables,
// or on a helper thread when the resolver may have to wait on the network.
#include "platform/wsshared.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace wsock {

namespace {

// A reply laid out for the caller's buffer: pointers point inside that buffer.
class Layout {
public:
    Layout(char* base, std::int32_t size) : base_(base), bytes_(static_cast<size_t>(std::max(size, 0))) {}
    // Reserves n bytes aligned for pointers; nullptr when the buffer is too small.
    char* reserve(size_t n, size_t align = alignof(void*)) {
        used_ = (used_ + align - 1) / align * align;
        if (used_ + n > bytes_.size()) {
            overflow_ = true;
            return nullptr;
        }
        char* at = bytes_.data() + used_;
        used_ += n;
        return at;
    }
    char* text(const std::string& s) {
        char* at = reserve(s.size() + 1, 1);
        if (at) std::memcpy(at, s.c_str(), s.size() + 1);
        return at;
    }
    // Where a local address ends up in the caller's buffer.
    template <class T>
    T* there(T* local) const {
        return local ? reinterpret_cast<T*>(base_ + (reinterpret_cast<char*>(local) - bytes_.data())) : nullptr;
    }
    bool overflow() const { return overflow_; }
    size_t used() const { return used_; }
    const char* data() const { return bytes_.data(); }

private:
    char* base_;
    std::vector<char> bytes_;
    size_t used_ = 0;
    bool overflow_ = false;
};

struct Reply {
    std::int32_t error = 0;
    std::vector<char> bytes;
};

Reply hostReply(char* base, std::int32_t size, const std::string& name, const std::vector<std::uint32_t>& addresses) {
    Layout l(base, size);
    auto* h = reinterpret_cast<hostent*>(l.reserve(sizeof(hostent)));
    auto** aliases = reinterpret_cast<char**>(l.reserve(sizeof(char*)));
    auto** list = reinterpret_cast<char**>(l.reserve(sizeof(char*) * (addresses.size() + 1)));
    std::vector<char*> at;
    for (std::uint32_t a : addresses) {
        char* p = l.reserve(4, 4);
        if (p) std::memcpy(p, &a, 4);
        at.push_back(p);
    }
    char* n = l.text(name);
    if (l.overflow()) return {WSAENOBUFS, {}};
    aliases[0] = nullptr;
    for (size_t i = 0; i < at.size(); ++i) list[i] = l.there(at[i]);
    list[at.size()] = nullptr;
    h->h_name = l.there(n);
    h->h_aliases = l.there(aliases);
    h->h_addrtype = WS_AF_INET;
    h->h_length = 4;
    h->h_addr_list = l.there(list);
    return {0, std::vector<char>(l.data(), l.data() + l.used())};
}

Reply servReply(char* base, std::int32_t size, const std::string& name, std::uint16_t portNet,
                const std::string& proto) {
    Layout l(base, size);
    auto* s = reinterpret_cast<servent*>(l.reserve(sizeof(servent)));
    auto** aliases = reinterpret_cast<char**>(l.reserve(sizeof(char*)));
    char* n = l.text(name);
    char* p = l.text(proto);
    if (l.overflow()) return {WSAENOBUFS, {}};
    aliases[0] = nullptr;
    s->s_name = l.there(n);
    s->s_aliases = l.there(aliases);
    s->s_port = static_cast<std::int16_t>(portNet);
    s->s_proto = l.there(p);
    return {0, std::vector<char>(l.data(), l.data() + l.used())};
}

std::int32_t gaiError(int e) {
    switch (e) {
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_FAIL: return WSANO_RECOVERY;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return WSANO_DATA;
#endif
    default: return WSAHOST_NOT_FOUND;
    }
}

std::atomic<int> lookupDelay{0};

// Reserved names never resolve: no query leaves the machine for them.
bool reservedName(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name == "invalid" || (name.size() > 8 && name.compare(name.size() - 8, 8, ".invalid") == 0);
}

// A name answered without asking the resolver, so without waiting.
bool knownHere(const std::string& name) {
    if (lookupDelay.load() != 0) return false;
    ::in_addr dotted{};
    if (name.empty() || ::inet_aton(name.c_str(), &dotted) || reservedName(name)) return true;
    auto& r = routes();
    std::lock_guard g(r.lock);
    return r.hosts.count(name) != 0;
}

Reply lookUpHost(char* base, std::int32_t size, const std::string& name) {
    if (const int ms = lookupDelay.load()) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    {
        auto& r = routes();
        std::lock_guard g(r.lock);
        if (auto it = r.hosts.find(name); it != r.hosts.end()) return hostReply(base, size, name, {it->second});
    }
    ::in_addr dotted{};
    if (::inet_aton(name.c_str(), &dotted)) return hostReply(base, size, name, {dotted.s_addr});
    if (name.empty() || reservedName(name)) return {WSAHOST_NOT_FOUND, {}};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    if (int e = ::getaddrinfo(name.c_str(), nullptr, &hints, &found); e != 0) return {gaiError(e), {}};
    std::vector<std::uint32_t> addresses;
    for (addrinfo* a = found; a; a = a->ai_next)
        addresses.push_back(reinterpret_cast<::sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
    const std::string canonical = found->ai_canonname ? found->ai_canonname : name;
    ::freeaddrinfo(found);
    return hostReply(base, size, canonical, addresses);
}

Reply lookUpAddress(char* base, std::int32_t size, std::uint32_t address) {
    ::sockaddr_in p{};
    p.sin_family = AF_INET;
    p.sin_addr.s_addr = address;
    char host[NI_MAXHOST];
    const int e = ::getnameinfo(reinterpret_cast<::sockaddr*>(&p), sizeof p, host, sizeof host, nullptr, 0, NI_NAMEREQD);
    if (e != 0) return {gaiError(e), {}};
    return hostReply(base, size, host, {address});
}

Reply lookUpService(char* base, std::int32_t size, const std::string& name, const std::string& proto) {
    ::servent entry{}, *found = nullptr;
    char work[1024];
    ::getservbyname_r(name.c_str(), proto.empty() ? nullptr : proto.c_str(), &entry, work, sizeof work, &found);
    if (!found) return {WSANO_DATA, {}};
    return servReply(base, size, found->s_name, static_cast<std::uint16_t>(found->s_port), found->s_proto);
}

Reply lookUpPort(char* base, std::int32_t size, std::int32_t portNet, const std::string& proto) {
    ::servent entry{}, *found = nullptr;
    char work[1024];
    ::getservbyport_r(portNet, proto.empty() ? nullptr : proto.c_str(), &entry, work, sizeof work, &found);
    if (!found) return {WSANO_DATA, {}};
    return servReply(base, size, found->s_name, static_cast<std::uint16_t>(found->s_port), found->s_proto);
}

struct Task {
    HANDLE id = 0;
    WindowHandle window = 0;
    std::uint32_t message = 0;
    char* buf = nullptr;
    std::mutex lock;
    bool cancelled = false;
    bool done = false;
};

struct Tasks {
    std::mutex lock;
    std::map<HANDLE, std::shared_ptr<Task>> live;
    HANDLE next = 1;
};
// Never destroyed: a look-up thread is detached and may end after the program's static
// objects are gone (a cancelled look-up runs on until the resolver answers).
Tasks& tasks() {
    static Tasks* const t = new Tasks;
    return *t;
}

// Writes a look-up's reply into the caller's buffer and posts it, unless it was cancelled.
void deliver(const std::shared_ptr<Task>& task, const Reply& reply) {
    {
        std::lock_guard g(task->lock);
        if (!task->cancelled) {
            if (reply.error == 0) std::memcpy(task->buf, reply.bytes.data(), reply.bytes.size());
            task->done = true;
            const std::uint16_t used = reply.error == 0 ? static_cast<std::uint16_t>(reply.bytes.size()) : 0;
            PostMessage(task->window, task->message, task->id,
                        WSAMAKESELECTREPLY(used, static_cast<std::uint16_t>(reply.error)));
        }
    }
    auto& t = tasks();
    std::lock_guard g(t.lock);
    t.live.erase(task->id);
}

enum class Answer { Now, Later };

// Starts a look-up; its reply is written and posted only while the request is live. One
// that may wait on the network runs on a helper thread; one answered from this machine's
// own tables is answered before this returns, so no thread outlives its caller's use of it.
HANDLE startTask(WindowHandle window, std::uint32_t message, char* buf, std::int32_t buflen,
                 std::function<Reply(char*, std::int32_t)> work, Answer when) {
    if (!started()) return fail(WSANOTINITIALISED, HANDLE(0));
    if (!buf || buflen <= 0) return fail(WSAEFAULT, HANDLE(0));
    auto task = std::make_shared<Task>();
    task->window = window;
    task->message = message;
    task->buf = buf;
    {
        auto& t = tasks();
        std::lock_guard g(t.lock);
        task->id = t.next++;
        t.live[task->id] = task;
    }
    // Not read again here: the helper may already have finished and let the task go.
    const HANDLE id = task->id;
    if (when == Answer::Now) {
        deliver(task, work(buf, buflen));
        return id;
    }
    std::thread([task, buflen, work = std::move(work)] { deliver(task, work(task->buf, buflen)); }).detach();
    return id;
}

}  // namespace

HANDLE ws_WSAAsyncGetHostByName(WindowHandle window, std::uint32_t message, const char* name, char* buf,
                                std::int32_t buflen) {
    const std::string n = name ? name : "";
    return startTask(window, message, buf, buflen, [n](char* b, std::int32_t s) { return lookUpHost(b, s, n); },
                     knownHere(n) ? Answer::Now : Answer::Later);
}

HANDLE ws_WSAAsyncGetHostByAddr(WindowHandle window, std::uint32_t message, const char* addr, std::int32_t len,
                                std::int32_t type, char* buf, std::int32_t buflen) {
    if (!addr || len != 4 || type != WS_AF_INET) return fail(WSAEINVAL, HANDLE(0));
    std::uint32_t a;
    std::memcpy(&a, addr, 4);
    return startTask(window, message, buf, buflen, [a](char* b, std::int32_t s) { return lookUpAddress(b, s, a); },
                     Answer::Later);
}

HANDLE ws_WSAAsyncGetServByName(WindowHandle window, std::uint32_t message, const char* name, const char* proto,
                                char* buf, std::int32_t buflen) {
    const std::string n = name ? name : "", p = proto ? proto : "";
    return startTask(window, message, buf, buflen,
                     [n, p](char* b, std::int32_t s) { return lookUpService(b, s, n, p); }, Answer::Now);
}

HANDLE ws_WSAAsyncGetServByPort(WindowHandle window, std::uint32_t message, std::int32_t port, const char* proto,
                                char* buf, std::int32_t buflen) {
    const std::string p = proto ? proto : "";
    return startTask(window, message, buf, buflen,
                     [port, p](char* b, std::int32_t s) { return lookUpPort(b, s, port, p); }, Answer::Now);
}

std::int32_t ws_WSACancelAsyncRequest(HANDLE id) {
    if (!started()) return fail(WSANOTINITIALISED);
    std::shared_ptr<Task> task;
    {
        auto& t = tasks();
        std::lock_guard g(t.lock);
        auto it = t.live.find(id);
        if (it == t.live.end()) return fail(WSAEINVAL);
        task = it->second;
    }
    std::lock_guard g(task->lock);
    if (task->done) return fail(10037);
    task->cancelled = true;
    return 0;
}

void AddTestRoute(const std::string& host, std::uint16_t port, std::uint16_t loopbackPort) {
    auto& r = routes();
    std::lock_guard g(r.lock);
    ::in_addr dotted{};
    std::uint32_t address;
    if (::inet_aton(host.c_str(), &dotted)) {
        address = dotted.s_addr;
    } else if (auto it = r.hosts.find(host); it != r.hosts.end()) {
        address = it->second;
    } else {
        // Each routed name gets an address of its own in the loopback range.
        address = htonl(0x7F4D0000u | r.nextHost++);
        r.hosts[host] = address;
    }
    r.ports[{address, port}] = loopbackPort;
}

void SetTestLookupDelay(int milliseconds) { lookupDelay = milliseconds; }

void ClearTestRoutes() {
    auto& r = routes();
    std::lock_guard g(r.lock);
    r.hosts.clear();
    r.ports.clear();
}

}  // namespace wsock
