# GoogleTest is cross-compiled from the distribution's sources, and test
# binaries are discovered and run under Wine at ctest time. scripts/test
# prepares the prefix and keeps one wineserver alive around ctest: a server
# that Wine starts by itself would inherit ctest's pipes and stall every run.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

include(GoogleTest)

# mirdex_test(NAME SOURCES... LIBS ...) builds one gtest program and registers
# each of its cases with ctest.
function(mirdex_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_compile_options(${name} PRIVATE ${MIRDEX_WARNINGS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60)
endfunction()
