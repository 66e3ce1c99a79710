#pragma once

#include <string>
#include <vector>

// Lists the unit ids that report to the telvorn-headless of this directory without being
// registered, as its monitoring endpoint gives them in /api/rtus: only the running service knows
// them, as their readings are not stored. The endpoint's address is the one the service keeps in
// its pid file; over HTTPS the certificate of CERT in section HTTP of "./data_rtu.ini" is the one
// trusted, and a PASSWORD set there is answered with USER and the password in the environment
// variable TELVORN_HTTP_PASSWORD. One line a unit, tab-separated: unit id, frames, peer, last
// report, after a line of captions (`uidCaption` first). Returns the exit status (AdminExit).
int ListUnregistered(const std::string& uidCaption);
