#pragma once

#include <string>
#include <vector>

class CSQLDatabase;

inline constexpr const char* kRtuTable = "RTU_TAB";

// The creation texts of the two fixed tables.
std::string RtuTableCreation();
extern const char* const kFullRcdsCreation;

// Value type codes of a channel table's RVALUE column.
enum ChannelValueType { kChannelByte = 0, kChannelFloat = 1, kChannelText = 2, kChannelInt = 3 };

// One channel table of an RTU: name, number (-1 for none) and value type code.
struct ChannelTableSpec {
    const char* name;
    int number;
    int valueType;
};

// The 158 channel tables every RTU gets, in creation order.
const std::vector<ChannelTableSpec>& ChannelTableSet();

// The table name "uid_NAMEn", or "uid_NAME" for a channel without number.
std::string ChannelTableName(const std::string& uidText, const char* name, int number);

// Creates one channel table; the result of Execute, or false without executing anything for an
// empty unit id, an empty name or a type code other than 0 to 3. Throws what Execute throws.
// The caller holds DatabaseMutex.
bool CreateChannelTable(CSQLDatabase& database, const std::string& uidText, const char* name, int number,
                        int valueType);

// Creates the whole set in order. A table that exists already is kept and the rest still created,
// so an RTU added again after deletion, or one whose tables exist in part, ends with all of them.
// Other errors are thrown. The caller holds DatabaseMutex.
void CreateChannelTables(CSQLDatabase& database, const std::string& uidText);
