# VerantoClient: the Veranto client runtime and message catalogue for the
# product's Windows x64 components.
#
#   find_package(VerantoClient CONFIG REQUIRED)
#   target_link_libraries(app PRIVATE VerantoClient::vrcommon VerantoClient::VRCCLN62)
#
#   VerantoClient::vrcommon   libvrcommon.a: include "vrcommon.h"; brings its
#                             Windows libraries along. It needs the C runtime
#                             only: a project of C alone links it.
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

# The library is C++ built without the C++ runtime: it asks for a C link,
# never for the C++ compiler to link a component.
get_target_property(_vrc_configurations VerantoClient::vrcommon IMPORTED_CONFIGURATIONS)
foreach(_vrc_configuration IN LISTS _vrc_configurations)
    set_property(TARGET VerantoClient::vrcommon PROPERTY IMPORTED_LINK_INTERFACE_LANGUAGES_${_vrc_configuration} C)
endforeach()
unset(_vrc_configurations)
unset(_vrc_configuration)
