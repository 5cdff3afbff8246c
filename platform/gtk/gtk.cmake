# The Linux backend: GTK 3 and WebKitGTK 4.1.
pkg_check_modules(GTK REQUIRED IMPORTED_TARGET gtk+-3.0 webkit2gtk-4.1 gio-unix-2.0 x11)

file(GLOB GTK_BACKEND_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/gtk/*.cpp)
add_library(tessaloom_gtk STATIC ${GTK_BACKEND_SOURCES})
target_link_libraries(tessaloom_gtk PUBLIC tessaloom_core PkgConfig::GTK)

# The app folder: the executable, its icon and its resources, nothing else. This folder is
# what runs, what the tests start and what "install" copies.
set(APP_DIR ${CMAKE_BINARY_DIR}/Tessaloom)
add_executable(Tessaloom ${CMAKE_SOURCE_DIR}/app/main.cpp)
target_link_libraries(Tessaloom PRIVATE tessaloom_gtk)
set_target_properties(Tessaloom PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${APP_DIR})

file(GLOB APP_RESOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*)
add_custom_target(app_resources ALL
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${APP_DIR}/resources
  COMMAND ${CMAKE_COMMAND} -E make_directory ${APP_DIR}/resources
  COMMAND ${CMAKE_COMMAND} -E copy ${APP_RESOURCES} ${APP_DIR}/resources/
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/icons/Tessaloom.png ${APP_DIR}/
  DEPENDS ${APP_RESOURCES} ${CMAKE_SOURCE_DIR}/icons/Tessaloom.png
  COMMENT "Copying the web app into the app folder")
add_dependencies(Tessaloom app_resources)
