# Black-box tests: the built app driven from outside under Xvfb.
#
# Each group script starts its own Xvfb screen and starts the app several
# times; they run one at a time (RUN_SERIAL) so that no two WebKit instances
# compete for the machine, and all of them in well under four minutes.

pkg_check_modules(BLACKBOX_X11 REQUIRED IMPORTED_TARGET x11)
# Sends the close request that a window manager's close button sends.
add_executable(wm_close ${CMAKE_CURRENT_LIST_DIR}/wm_close.c)
target_link_libraries(wm_close PRIVATE PkgConfig::BLACKBOX_X11)

foreach(group window menu ball autostart)
  add_test(NAME blackbox_${group}
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/${group}.sh $<TARGET_FILE:Tessaloom>
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(blackbox_${group} PROPERTIES
    LABELS blackbox
    RUN_SERIAL TRUE
    RESOURCE_LOCK xvfb
    TIMEOUT 180
    SKIP_RETURN_CODE 77
    # A screenshot of each failed case goes to blackbox-failures/.
    ENVIRONMENT "BB_WM_CLOSE=$<TARGET_FILE:wm_close>;BB_ARTIFACTS=${CMAKE_CURRENT_BINARY_DIR}/blackbox-failures")
endforeach()
