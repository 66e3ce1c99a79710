#pragma once

// TCP keepalive on an RTU's connection: after 60 s without traffic the kernel probes the peer every
// 10 s, and after 3 probes unanswered the connection's receive fails with ETIMEDOUT. A modem that
// lost its link without a FIN is found in 90 s rather than after the server's idle time-out.
inline constexpr int kKeepAliveIdleSeconds = 60;
inline constexpr int kKeepAliveIntervalSeconds = 10;
inline constexpr int kKeepAliveProbes = 3;

// False when the system refused an option; the connection is served all the same.
bool KeepAliveRtuSocket(int socket);
