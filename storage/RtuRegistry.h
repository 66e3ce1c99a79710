#pragma once

#include <array>
#include <string>
#include <vector>

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

// Stores a new RTU_TAB row (digit-only unit ids normalised: 007 -> 7) and creates the RTU's 158
// channel tables. True when the row was stored. Shows "Unit Id can't be null!", "database is closed
// when write", or a database error's message followed by "CSQLException exception when write
// database!"; the dialog shows ADD_RTU_OK or ADD_RTU_ERR itself.
bool AddRtu(CSQLDatabase& database, const IRtuInputRows& rows, IMessageBox& box);

// Updates RDATA1 ... of the row whose UID is row 0 as typed. True unless the database is closed or
// an error was raised (a unit id without a row counts as success). Shows nothing.
bool EditRtu(CSQLDatabase& database, const IRtuInputRows& rows);

// Asks QUESTION/DELETE_RTU and on Yes removes the RTU_TAB row of row 0's unit id (its channel
// tables and FULLRCDS rows stay). True when a row was removed: the caller then reloads the list.
bool DeleteRtu(CSQLDatabase& database, const IRtuInputRows& rows, IMessageBox& box);

// The unit id as stored: the decimal text of its value when it holds digits only, else unchanged.
std::string NormaliseUnitId(const std::string& uidText);

// One RTU_TAB row as read: UID then RDATA1 ... RDATA12.
using RegistryRow = std::array<std::string, 13>;

// Reads the registry ("SELECT * FROM RTU_TAB ORDER BY UID") and gives row n's UID and model (the
// decimal value of RDATA7) to slot n of the live table; rows past the last slot get none, slots past
// the last row keep what they had. Returns the rows read; nothing without a connection, and a
// database error ends the read silently with the rows read so far. Takes no lock (a read).
// Threads: the user-interface thread (the RTU list page) or the headless runner's start-up.
std::vector<RegistryRow> LoadRegistry(const CSQLDatabase& database, RtuTable& table);
