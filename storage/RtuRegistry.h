#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/RegistryRefill.h"
#include "platform/profile/MessageBox.h"

class CSQLDatabase;
class RtuTable;

// The rows of the RTU input dialog: row 0 the unit id, row i (1 ... n-1) the value of RDATAi.
class IRtuInputRows {
public:
    virtual int RowCount() const = 0;
    virtual std::string RowText(int row) const = 0;

protected:
    ~IRtuInputRows() = default;
};

// The registry changes behind the input dialog. All run on the user-interface thread and hold
// DatabaseMutex around their database work, so they never overlap the history writers.

// Stores a new RTU_TAB row and creates the RTU's 158 channel tables. The unit id is 1 to 8 decimal
// digits once blanks around it are trimmed, stored as its value (007 -> 7); any other is refused
// before anything is written. True when the row was stored, also when a table creation failed after
// it (an RTU added again finds its tables). Shows "Unit Id can't be null!", "Unit Id must be 1 to 8
// decimal digits!", "database is closed when write", or a database error's message followed by
// "CSQLException exception when write database!", each after DatabaseMutex is released; the dialog
// shows ADD_RTU_OK or ADD_RTU_ERR itself.
bool AddRtu(CSQLDatabase& database, const IRtuInputRows& rows, IMessageBox& box);

// Updates RDATA1 ... of the row whose UID is row 0 as typed. True when a row was updated: false for
// a closed database, an error, or a unit id without a row. Shows nothing.
bool EditRtu(CSQLDatabase& database, const IRtuInputRows& rows);

// Asks QUESTION/DELETE_RTU and on Yes removes the RTU_TAB row of row 0's unit id (its channel
// tables and FULLRCDS rows stay). True when a row was removed: the caller then reloads the list.
bool DeleteRtu(CSQLDatabase& database, const IRtuInputRows& rows, IMessageBox& box);

// The unit id as stored: the decimal text of its value when it holds digits only, else unchanged.
std::string NormaliseUnitId(const std::string& uidText);

// One RTU_TAB row as read: UID then RDATA1 ... RDATA12.
using RegistryRow = std::array<std::string, 13>;

// The registry's rows ("SELECT * FROM RTU_TAB ORDER BY UID"); nothing without a connection, and a
// database error ends the read silently with the rows read so far. `complete`, when given, tells
// whether every row was read. Takes no lock (a read).
std::vector<RegistryRow> ReadRegistry(const CSQLDatabase& database, bool* complete = nullptr);
// The rows as the live table takes them: UID and model (the decimal value of RDATA7).
std::vector<RegisteredRtu> RegisteredRtus(const std::vector<RegistryRow>& rows);
// Reads the registry ("SELECT * FROM RTU_TAB ORDER BY UID") and brings the live table to it with
// RefillRtuTable, the one way every reload takes: an RTU that stays keeps its slot and values, a
// removed one's slot is freed, a new one gets a cleared slot. Returns the rows read; nothing without
// a connection, and a database error ends the read silently with the rows read so far and leaves
// the table as it was. Takes no lock (a read).
// Threads: the user-interface thread (the RTU list page) or the headless runner's start-up.
std::vector<RegistryRow> LoadRegistry(const CSQLDatabase& database, RtuTable& table);
