find_package(GTest REQUIRED)
include(GoogleTest)

# tarnisk_add_test(<name> SOURCES <files...> LIBRARIES <targets...>
#                  [OWN_MAIN] [LABELS <labels...>] [TIMEOUT <seconds>])
# Builds one GoogleTest binary and registers each of its tests with CTest. OWN_MAIN leaves out
# gtest_main, for binaries that bring a main() of their own (the Qt tests do).
function(tarnisk_add_test name)
  cmake_parse_arguments(ARG "OWN_MAIN" "TIMEOUT" "SOURCES;LIBRARIES;LABELS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gmock Threads::Threads)
  if(NOT ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()
