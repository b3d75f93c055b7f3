# GoogleTest built from Debian's sources (package googletest) for Windows.
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS "${GOOGLETEST_SOURCE_DIR}/googletest/CMakeLists.txt")
  message(FATAL_ERROR "GoogleTest sources not found in ${GOOGLETEST_SOURCE_DIR}: run scripts/bootstrap")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory("${GOOGLETEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)

# Adds a Windows test program as one CTest test, run under Wine.
function(stubkit_win_test name)
  add_test(NAME ${name} COMMAND ${name})
endfunction()
