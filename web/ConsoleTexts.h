#pragma once

#include <nlohmann/json.hpp>
#include <string>

// The texts the console pages show, as one JSON object read from the INI files the window reads,
// once, when the endpoint starts (as the window reads its captions once): so a site's own wording
// shows in the browser too. Absent keys give empty texts, as in the window.
//   "titles"   [Titles] SYSTITLE, Page0 ... Page3 of "./rtu_ui.ini";
//   "list"     [Page0Text] PageTitle, the heading of the RTU list;
//   "state"    [Page2Text] captions of the RTU state page (groups, counter sources, history columns,
//              RECORDS, EXPORT);
//   "modbus"   [Page3Text] List0 ... List4;
//   "columns"  [RTU] RDATA1 ... RDATACOUNTS of "./data_rtu.ini" (the registry's column captions);
//   "names"    [DEVNAMES] of "./name_rtu.ini": the history keys (DIN, DOUT, SIGNAL, BATT, ITEMP, ETEMP)
//              and the register names MBUSREG0 ... MBUSREG31, "R%2.2d" where a name is absent or empty.
//   "fields"   the caption of each registry field RDATA1 ... RDATA12 as the RTU list heads its column
//              (caption key RDATAk heads field RDATA(k-1)); a field without a column has none.
nlohmann::json ConsoleTexts();

// The server's time zone now, which every time the console shows is in: "name" (the zone database's
// name, as TZ, /etc/timezone or /etc/localtime give it; null when none does), "abbreviation" ("CET")
// and "utc_offset" ("+01:00").
nlohmann::json ServerTimeZone();
