# VerantoClient: the Veranto client runtime and message catalogue for the
# product's Windows x64 components.
#
#   find_package(VerantoClient CONFIG REQUIRED)
#   target_link_libraries(app PRIVATE VerantoClient::vrcommon VerantoClient::VRCCLN62)
#
#   VerantoClient::vrcommon   libvrcommon.a: include "vrcommon.h"; brings its
#                             Windows libraries along
#   VerantoClient::VRCCLN62   VRCCLN62.dll through its import library: include
#                             "vrc_catalogue.h" (with vrc_messages.h). The DLL
#                             (bin/) must stand beside the program or on its
#                             search path at run time.

if(NOT CMAKE_SYSTEM_NAME STREQUAL "Windows")
    set(${CMAKE_FIND_PACKAGE_NAME}_FOUND FALSE)
    set(${CMAKE_FIND_PACKAGE_NAME}_NOT_FOUND_MESSAGE
        "VerantoClient holds Windows x64 binaries; configure with a Windows toolchain.")
    return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/VerantoClientTargets.cmake)
