#pragma once

#include <string>

// Section HTTP of "./data_rtu.ini": the monitoring endpoint, read once at start-up. A missing key
// takes its default; LISTEN present but empty switches the endpoint off.
struct HttpSettings {
    std::string listen = "127.0.0.1:5080";  // address:port, "[v6address]:port" for IPv6
    std::string user;                       // Basic authentication user
    std::string passwordHash;               // crypt(3) hash, "$6$..." or "$y$..."
    std::string certFile;                   // PEM certificate: the endpoint speaks HTTPS only
    std::string keyFile;                    // PEM private key of the certificate
    int staleSeconds = 900;                 // without a report for longer, an RTU counts as silent
};

HttpSettings ReadHttpSettings();

// Why the settings cannot serve (a LISTEN that is no address:port, a non-loopback address without
// both a password and a certificate, a password that is not a crypt(3) hash); empty when they can.
std::string RefusalReason(const HttpSettings& settings);

// LISTEN split into its address and port; false when it is not "address:port".
bool SplitListen(const std::string& listen, std::string& address, int& port);
// The address is 127.0.0.0/8, ::1 or "localhost".
bool IsLoopbackAddress(const std::string& address);
