#pragma once

#include <string>
#include <vector>

#include "platform/profile/MessageBox.h"

class CSQLDatabase;
class OdbcInstaller;

// The open-database command (CMD_OPEN_DATABASE, 4097), run once at start-up before the registry is
// first read. Makes sure ~/rtu exists and holds RTU.db (copied from the seed "./RTU.db" when
// missing, never overwriting), connects to "RTUDB" with USER and PWD of [RTU_DB] in
// "./data_rtu.ini", registers the data source and retries once when that fails, then creates
// RTU_TAB and FULLRCDS when they are missing, and the READINGS view with what it needs (ReadingsView.h). Its results
// are `database.connected` and the boxes: on a new database "opened", "created", "created"; later just "opened";
// OPEN_DB_ERR on failure.
//
// Threads: the user-interface thread. The connection and the table creations hold DatabaseMutex
// throughout, since history writers on worker threads may already use the connection: none writes
// a row before the fixed tables are there.
void OpenDatabase(CSQLDatabase& database, IMessageBox& box);
// The same with a given installer (tests: a missing installer library).
void OpenDatabase(CSQLDatabase& database, IMessageBox& box, OdbcInstaller& installer);

// Message boxes kept to be shown later, in the order they were asked for; each answered OK.
class KeptMessageBoxes final : public IMessageBox {
public:
    MessageAnswer Show(const std::string& text, const std::string& caption, MessageIcon icon,
                       MessageButtons buttons) override;
    // Shows every kept box on `box`, in order, and forgets them.
    void ShowOn(IMessageBox& box);

private:
    struct Kept {
        std::string text;
        std::string caption;
        MessageIcon icon;
        MessageButtons buttons;
    };
    std::vector<Kept> kept;
};

// The open-database command with its boxes kept in `boxes` rather than shown: the connection, the
// fixed tables and the monitoring's database state are all done when it returns, so a box waiting
// for its click holds nothing up.
void OpenDatabaseKeepingBoxes(CSQLDatabase& database, KeptMessageBoxes& boxes);

// For a database that did not answer at start: connects with the login of "./data_rtu.ini" and,
// once connected, creates RTU_TAB and FULLRCDS when they are missing, all under DatabaseMutex and
// showing nothing. True when connected. Any thread.
bool ReopenDatabase(CSQLDatabase& database);
