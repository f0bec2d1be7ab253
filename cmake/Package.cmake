# The component package of the windows build:
#   cmake --install build/windows --prefix <dir>
#     bin/                       VRCCLN62.dll and the shipped programs      (runtime)
#     lib/                       libvrcommon.a, libVRCCLN62.dll.a            (development)
#     include/                   vrcommon.h and its headers, vrc_catalogue.h,
#                                vrc_messages.h                              (development)
#     lib/cmake/VerantoClient/   the CMake package: VerantoClient::vrcommon,
#                                VerantoClient::VRCCLN62                     (development)
#     share/doc/VerantoClient/   README.md and the sample driver package     (development)
#   cpack --preset windows       VerantoClient-<version>-win64.zip of that tree
# Every path inside the package is relative to it: the tree may be moved.
if(NOT VR_WINDOWS)
    return()
endif()

include(CMakePackageConfigHelpers)

set(VR_PACKAGE VerantoClient)
set(VR_PACKAGE_CMAKE_DIR lib/cmake/${VR_PACKAGE})

# The shipped programs.
install(TARGETS Kelvane vorUvez vrcmsg vrclog
    RUNTIME DESTINATION bin COMPONENT runtime)

# The exported targets: the DLL goes with the programs; its import library and
# the runtime library are for builds.
install(TARGETS VRCCLN62 catalogue_headers vrcommon EXPORT ${VR_PACKAGE}Targets
    RUNTIME DESTINATION bin COMPONENT runtime
    ARCHIVE DESTINATION lib COMPONENT development)

install(FILES
        ${PROJECT_SOURCE_DIR}/src/include/vrcommon.h
        ${PROJECT_SOURCE_DIR}/src/include/vrc_trace.h
        ${PROJECT_SOURCE_DIR}/src/include/vrc_settings.h
        ${PROJECT_SOURCE_DIR}/src/include/vrc_system.h
        ${PROJECT_SOURCE_DIR}/src/include/vrc_pool.h
        ${PROJECT_SOURCE_DIR}/catalogue/include/vrc_catalogue.h
        ${PROJECT_BINARY_DIR}/include/vrc_messages.h
    DESTINATION include COMPONENT development)

install(EXPORT ${VR_PACKAGE}Targets
    NAMESPACE ${VR_PACKAGE}::
    DESTINATION ${VR_PACKAGE_CMAKE_DIR} COMPONENT development)
# 6.2.x only: a component built for 6.2 expects the 6.2 catalogue. The version
# file also turns away 32-bit projects.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/${VR_PACKAGE}ConfigVersion.cmake
    VERSION ${PROJECT_VERSION}
    COMPATIBILITY SameMinorVersion)
install(FILES
        ${CMAKE_CURRENT_LIST_DIR}/${VR_PACKAGE}Config.cmake
        ${PROJECT_BINARY_DIR}/package/${VR_PACKAGE}ConfigVersion.cmake
    DESTINATION ${VR_PACKAGE_CMAKE_DIR} COMPONENT development)

install(FILES ${PROJECT_SOURCE_DIR}/README.md
    DESTINATION share/doc/${VR_PACKAGE} COMPONENT development)
# The sample driver as Kelvane installs it, its resource library compressed.
install(DIRECTORY ${KELVANE_SAMPLE_DIR}
    DESTINATION share/doc/${VR_PACKAGE} COMPONENT development
    PATTERN compress EXCLUDE)

set(CPACK_PACKAGE_NAME ${VR_PACKAGE})
set(CPACK_PACKAGE_VENDOR "Norvessa Corporation")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Veranto client binaries: VRCCLN62.dll, libvrcommon.a and the programs")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win64)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
include(CPack)
