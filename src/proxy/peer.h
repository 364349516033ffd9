#pragma once
// Who is at the other end of a loopback connection: the kernel's socket table names the
// peer's socket, and that socket is either one of this process's own or not.

// Whether the peer of the accepted IPv4 loopback connection `fd` is a socket this process
// holds (the engine's network service runs inside the browser). False when it cannot be
// told.
bool peerIsThisProcess(int fd);
