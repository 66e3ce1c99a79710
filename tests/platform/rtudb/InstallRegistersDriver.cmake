# cmake -DBUILD_DIR=... -DWORK_DIR=... -P InstallRegistersDriver.cmake
# Installs the build into a scratch prefix with a scratch ODBCSYSINI and checks that unixODBC
# then knows "Telvorn RTUDB", with the installed library as its driver and its setup.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/etc")
set(ENV{ODBCSYSINI} "${WORK_DIR}/etc")
unset(ENV{DESTDIR})
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}/prefix"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install failed: ${output}")
endif()
file(GLOB_RECURSE installed "${WORK_DIR}/prefix/*/libtelvorn-rtudb.so")
list(LENGTH installed count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "driver library not installed: ${installed}")
endif()
execute_process(COMMAND odbcinst -q -d -n "Telvorn RTUDB" OUTPUT_VARIABLE entry RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT entry MATCHES "Driver=${installed}" OR NOT entry MATCHES "Setup=${installed}")
  message(FATAL_ERROR "Telvorn RTUDB not registered with the installed library:\n${entry}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "Telvorn RTUDB registered: ${installed}")
