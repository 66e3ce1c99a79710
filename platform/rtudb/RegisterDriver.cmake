# Install step: registers the installed driver with unixODBC as "Telvorn RTUDB", the library
# being its own Setup. odbcinst writes to $ODBCSYSINI/odbcinst.ini when set, else to /etc.
# A staged install (DESTDIR) registers nothing: the package's own scripts do that on the target.
if(DEFINED ENV{DESTDIR} AND NOT "$ENV{DESTDIR}" STREQUAL "")
  message(STATUS "DESTDIR set: Telvorn RTUDB not registered")
  return()
endif()
find_program(ODBCINST_PROGRAM odbcinst REQUIRED)
set(_template "${TELVORN_RTUDB_TEMPLATE}")
file(WRITE "${_template}" "[Telvorn RTUDB]\nDescription=Telvorn RTUDB (Access-style SQL on SQLite or PostgreSQL)\nDriver=${TELVORN_RTUDB_LIBRARY}\nSetup=${TELVORN_RTUDB_LIBRARY}\n")
execute_process(COMMAND "${ODBCINST_PROGRAM}" -i -d -f "${_template}" RESULT_VARIABLE _result)
file(REMOVE "${_template}")
if(NOT _result EQUAL 0)
  message(FATAL_ERROR "odbcinst could not register Telvorn RTUDB")
endif()
message(STATUS "Registered ODBC driver Telvorn RTUDB: ${TELVORN_RTUDB_LIBRARY}")
