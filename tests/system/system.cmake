# System tests: the real GTK + WebKitGTK backend under Xvfb.

# The harness is a library of its own so the benchmarks can drive the app the
# same way.
add_library(tessaloom_system_support STATIC ${CMAKE_CURRENT_LIST_DIR}/../support/SystemHarness.cpp)
target_link_libraries(tessaloom_system_support PUBLIC tessaloom_gtk)
target_include_directories(tessaloom_system_support PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)

if(NOT TESSALOOM_SYSTEM_TESTS)
  return()
endif()

file(GLOB SYSTEM_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
add_executable(system_tests ${SYSTEM_TEST_SOURCES})
target_compile_options(system_tests PRIVATE ${TESSALOOM_TEST_CODE_OPTIONS})
target_link_libraries(system_tests PRIVATE tessaloom_system_support GTest::gtest)
target_compile_definitions(system_tests PRIVATE
  TESSALOOM_RESOURCES_DIR="${CMAKE_SOURCE_DIR}/resources"
  # Installed by npm from package.json (scripts/test.sh); the check fails without it.
  TESSALOOM_AXE_PATH="${CMAKE_SOURCE_DIR}/node_modules/axe-core/axe.min.js")

# One process and one X server per test; the lock keeps them from running side
# by side, which on a small machine makes WebKit's timing the test's subject.
set_target_properties(system_tests PROPERTIES
  CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/xvfb.sh)
gtest_discover_tests(system_tests
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 60
  TEST_PREFIX "system."
  PROPERTIES LABELS system RESOURCE_LOCK xvfb TIMEOUT 90
             ENVIRONMENT GSETTINGS_BACKEND=memory)
