# The macOS backend, checked on any machine: every Objective-C++ file (and the
# headers and portable helpers it uses) type-checked against the macOS SDK
# headers. Skipped, with the reason, where the checker or the SDK is missing.
set(MAC_TYPECHECK_SCRIPT ${CMAKE_SOURCE_DIR}/../shared/tools/mac-typecheck/typecheck.sh
    CACHE FILEPATH "The macOS type checker (typecheck.sh)")

file(GLOB MAC_TYPECHECK_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/platform/mac/*.mm ${CMAKE_SOURCE_DIR}/platform/mac/*.cpp)

# The folder that holds nlohmann/json.hpp, which the platform layer includes.
get_target_property(MAC_TYPECHECK_JSON_DIRS nlohmann_json::nlohmann_json
  INTERFACE_INCLUDE_DIRECTORIES)
find_path(MAC_TYPECHECK_JSON_DIR nlohmann/json.hpp HINTS ${MAC_TYPECHECK_JSON_DIRS})

add_test(NAME mac_typecheck
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/typecheck.sh
          ${MAC_TYPECHECK_SCRIPT} ${MAC_TYPECHECK_JSON_DIR}
          ${CMAKE_BINARY_DIR}/mac-typecheck-include
          --strict --target arm64-apple-macos11.3 -I ${CMAKE_SOURCE_DIR}
          ${MAC_TYPECHECK_SOURCES}
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
set_tests_properties(mac_typecheck PROPERTIES SKIP_RETURN_CODE 77 LABELS mac TIMEOUT 600)

