# Who the product is, held once for every reader. The build writes these
# into identity/identity.h (from identity.h.in) for the C++ code; the macOS
# bundle takes its identifier from LA_LABEL; and a script reads one with
#
#   cmake -DPRINT=LA_LABEL -P identity/identity.cmake
#
# The main window's title, and the application menu's where the platform
# titles that menu itself.
set(APP_TITLE "Dovrelist")
# Reverse-DNS identifier: the launch agent's label, the bundle identifier, the
# application id and the name of the Linux desktop entries. Also a valid
# GApplication id.
set(LA_LABEL "org.tessaloom.Tessaloom")
# The name of the folders that hold the settings and the page's web data.
# Never change it: the teacher's whole plan lives in that web data.
set(DATA_FOLDER_NAME "Tessaloom")
# The app bundle's name on macOS (Tessaloom.app), which the Finder and System
# Settings show for it.
set(BUNDLE_NAME "Tessaloom")
# The product's name as the program's own files carry it: the icon beside the
# executable on Linux and the marker of a temporary folder; lower-cased, the
# names of the temporaries it writes beside a user's files. Never change it:
# a temporary that a killed start left behind is found by these names.
set(PRODUCT_NAME "Tessaloom")
string(TOLOWER "${PRODUCT_NAME}" PRODUCT_FILE_WORD)
# The private scheme the page is served through: the origin the page's
# stored data belongs to.
set(APP_SCHEME "halvane")

if(DEFINED PRINT)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${${PRINT}}")
endif()
