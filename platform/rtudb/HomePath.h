#pragma once

#include <string>

// The connecting user's home directory: $HOME when set and not empty, else the password entry's.
std::string HomeDirectory();

// A path that starts with "~/" has the tilde replaced by the home directory; others are unchanged.
std::string ExpandHomePath(const std::string& path);
