# The macOS backend's portable helpers (the .cpp files of platform/mac, which
# do not use Cocoa), unit-tested on every platform.
file(GLOB MAC_HELPER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/mac/*.cpp)
file(GLOB MAC_HELPER_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/test_*.cpp)
add_executable(mac_helper_tests ${MAC_HELPER_TESTS} ${MAC_HELPER_SOURCES})
target_include_directories(mac_helper_tests PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(mac_helper_tests PRIVATE nlohmann_json::nlohmann_json GTest::gtest
                                               GTest::gtest_main)
gtest_discover_tests(mac_helper_tests DISCOVERY_MODE PRE_TEST PROPERTIES LABELS unit)
