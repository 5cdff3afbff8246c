# The macOS build, checked on any machine: every file it compiles (the
# portable code, the Objective-C++ backend, the entry and the unit tests)
# type-checked against the macOS SDK headers, and the whole app cross-built,
# linked and inspected (scripts/mac-build.sh). Both are skipped, with the
# reason, where the SDK is missing.
set(MAC_TYPECHECK_SCRIPT ${CMAKE_SOURCE_DIR}/../shared/tools/mac-typecheck/typecheck.sh
    CACHE FILEPATH "The macOS type checker (typecheck.sh)")

file(GLOB MAC_TYPECHECK_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/web/*.cpp ${CMAKE_SOURCE_DIR}/bridge/*.cpp
  ${CMAKE_SOURCE_DIR}/system/*.cpp ${CMAKE_SOURCE_DIR}/ball/*.cpp ${CMAKE_SOURCE_DIR}/platform/*.cpp
  ${CMAKE_SOURCE_DIR}/platform/mac/*.mm ${CMAKE_SOURCE_DIR}/platform/mac/*.cpp
  ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp ${CMAKE_SOURCE_DIR}/tests/support/ErrorText.cpp)

# The folders that hold nlohmann/json.hpp and gtest/gtest.h.
get_target_property(MAC_TYPECHECK_JSON_DIRS nlohmann_json::nlohmann_json
  INTERFACE_INCLUDE_DIRECTORIES)
find_path(MAC_TYPECHECK_JSON_DIR nlohmann/json.hpp HINTS ${MAC_TYPECHECK_JSON_DIRS})
find_path(MAC_TYPECHECK_GTEST_DIR gtest/gtest.h HINTS /usr/src/googletest/googletest/include)

add_test(NAME mac_typecheck
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/typecheck.sh
          ${MAC_TYPECHECK_SCRIPT} ${CMAKE_BINARY_DIR}/mac-typecheck-include
          ${MAC_TYPECHECK_JSON_DIR}/nlohmann ${MAC_TYPECHECK_GTEST_DIR}/gtest --
          --strict --target arm64-apple-macos11.3 -I ${CMAKE_SOURCE_DIR}
          -I ${CMAKE_BINARY_DIR}/generated "-DTESSALOOM_SOURCE_DIR=\"${CMAKE_SOURCE_DIR}\""
          -I ${CMAKE_SOURCE_DIR}/tests -I ${CMAKE_SOURCE_DIR}/tests/unit
          ${MAC_TYPECHECK_SOURCES}
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
set_tests_properties(mac_typecheck PROPERTIES SKIP_RETURN_CODE 77 LABELS mac TIMEOUT 900)

add_test(NAME mac_build
  COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/mac-build.sh ${CMAKE_BINARY_DIR}/mac
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
set_tests_properties(mac_build PROPERTIES SKIP_RETURN_CODE 77 LABELS mac TIMEOUT 2400)
