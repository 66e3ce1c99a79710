#pragma once

#include <string>

// One field of an exported CSV file, as a spreadsheet should read it back: a field holding a
// comma, a double quote, a CR or an LF is quoted with its quotes doubled, so it stays one field
// of one row; a text beginning with =, +, - or @ that is not a number gets a leading ', so a
// spreadsheet shows it rather than running it as a formula. Numbers ("-2.5", "1.0e+20") stay as
// they are. Texts from the network (an RTU's own time stamp) go through here.
std::string CsvField(const std::string& text);
