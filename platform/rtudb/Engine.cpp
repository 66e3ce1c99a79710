#include "platform/rtudb/Engine.h"

#include "platform/rtudb/PostgresEngine.h"
#include "platform/rtudb/SqliteEngine.h"

#include <strings.h>

std::unique_ptr<IEngine> OpenEngine(const DataSourceSettings& settings, EngineError& error) {
    if (settings.engine.empty() || strcasecmp(settings.engine.c_str(), "sqlite") == 0)
        return OpenSqliteEngine(settings, error);
    if (strcasecmp(settings.engine.c_str(), "postgresql") == 0) return OpenPostgresEngine(settings, error);
    error = {"IM002",
             "data source " + settings.dataSource + " names engine " + settings.engine +
                 ", which this driver does not offer (sqlite, postgresql)",
             0};
    return nullptr;
}
