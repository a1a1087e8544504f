# find_package(MMBStartup) gives the imported target MMB::startup: the
# start-up class library and its headers.
include("${CMAKE_CURRENT_LIST_DIR}/MMBStartupTargets.cmake")
