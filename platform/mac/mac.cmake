# The macOS backend: AppKit + WebKit, Objective-C++ with ARC, and the
# Tessaloom.app bundle.
enable_language(OBJCXX)

# WKDownload, which downloads need, came with macOS 11.3. Best set before
# project(); here it still reaches every target of this directory and below.
if(NOT CMAKE_OSX_DEPLOYMENT_TARGET OR CMAKE_OSX_DEPLOYMENT_TARGET VERSION_LESS 11.3)
  set(CMAKE_OSX_DEPLOYMENT_TARGET 11.3)
endif()

file(GLOB MAC_BACKEND_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/platform/mac/*.mm ${CMAKE_SOURCE_DIR}/platform/mac/*.cpp)
add_library(tessaloom_mac STATIC ${MAC_BACKEND_SOURCES})
set_target_properties(tessaloom_mac PROPERTIES
  OBJCXX_STANDARD 20 OBJCXX_STANDARD_REQUIRED ON OBJCXX_EXTENSIONS OFF)
target_compile_options(tessaloom_mac PRIVATE $<$<COMPILE_LANGUAGE:OBJCXX>:-fobjc-arc>)
# ServiceManagement: its SMAppService (macOS 13) is looked up at run time,
# so nothing names a symbol of it, but it must be loaded.
target_link_libraries(tessaloom_mac PUBLIC tessaloom_core
  "-framework AppKit" "-framework WebKit" "-framework Foundation"
  "-framework ServiceManagement")

# The bundle identifier is the launch agent's label (identity/identity.cmake).
set(TESSALOOM_BUNDLE_ID "${LA_LABEL}")

add_executable(Tessaloom MACOSX_BUNDLE ${CMAKE_SOURCE_DIR}/app/main.cpp)
target_link_libraries(Tessaloom PRIVATE tessaloom_mac)
set_target_properties(Tessaloom PROPERTIES
  OUTPUT_NAME Tessaloom
  MACOSX_BUNDLE_INFO_PLIST ${CMAKE_SOURCE_DIR}/platform/mac/Info.plist.in
  MACOSX_BUNDLE_EXECUTABLE_NAME Tessaloom
  MACOSX_BUNDLE_GUI_IDENTIFIER ${TESSALOOM_BUNDLE_ID}
  MACOSX_BUNDLE_BUNDLE_NAME ${BUNDLE_NAME}
  MACOSX_BUNDLE_SHORT_VERSION_STRING ${PROJECT_VERSION}
  MACOSX_BUNDLE_BUNDLE_VERSION ${PROJECT_VERSION}
  MACOSX_BUNDLE_ICON_FILE Tessaloom.icns)

# The web app, flat in Contents/Resources: the scheme handler serves only the
# top level of that folder.
file(GLOB APP_RESOURCES LIST_DIRECTORIES false CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*)
list(APPEND APP_RESOURCES ${CMAKE_SOURCE_DIR}/icons/Tessaloom.icns)
target_sources(Tessaloom PRIVATE ${APP_RESOURCES})
set_source_files_properties(${APP_RESOURCES} PROPERTIES MACOSX_PACKAGE_LOCATION Resources)
