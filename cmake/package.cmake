# The package a Windows developer installs: cmake --install BUILD --prefix DIR lays out
#   bin/      RYINET.dll and the hosts: ryftp.exe, ryexplorer.exe, ryinet-automation.exe
#             and its type library (tools/automation installs them)
#   include/  the public headers: the library's, the listing reader, the host kit
#   lib/      libRYINET.dll.a (MinGW), RYINET.lib (MSVC), RYINET.def, cmake/RYINET/
#   bindings/ declarations for VB6/VBA, Delphi/Free Pascal, C# and Python
#   docs/, examples/c_host and examples/explorer (hosts built from this tree alone),
#   examples/automation (scripts and clients of RyInet.Session),
#   README.md, LICENSE
# make dist zips that tree (cmake/dist.py).
include(CMakePackageConfigHelpers)

install(TARGETS ryinet RUNTIME DESTINATION bin ARCHIVE DESTINATION lib)
install(FILES $<TARGET_FILE_DIR:ryinet>/RYINET.lib DESTINATION lib)
install(FILES ${PROJECT_SOURCE_DIR}/src/frame/ryinet.def DESTINATION lib RENAME RYINET.def)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ DESTINATION include FILES_MATCHING PATTERN "*.h")

write_basic_package_version_file(${CMAKE_BINARY_DIR}/RYINETConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/RYINETConfig.cmake ${CMAKE_BINARY_DIR}/RYINETConfigVersion.cmake
        ${CMAKE_CURRENT_LIST_DIR}/ryinet_kit.c DESTINATION lib/cmake/RYINET)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/bindings/ DESTINATION bindings
        FILES_MATCHING PATTERN "*.bas" PATTERN "*.pas" PATTERN "*.cs" PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION docs)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/c_host ${PROJECT_SOURCE_DIR}/examples/explorer
        DESTINATION examples)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)

# The two hosts ship beside the library.
ryinet_version_resource(ryftp "RYINET console FTP and dial-up host")
ryinet_version_resource(ryexplorer "RYINET Explorer, a sample GUI host")
install(TARGETS ryftp ryexplorer RUNTIME DESTINATION bin)

# The release zip's name takes the version from here (cmake/dist.py reads it); the test
# bench reads back the version resource of every binary that was given one.
file(WRITE ${CMAKE_BINARY_DIR}/version "${PROJECT_VERSION}\n")
get_property(versioned GLOBAL PROPERTY RYINET_VERSIONED_TARGETS)
set(paths "")
foreach(target ${versioned})
    string(APPEND paths "$<TARGET_FILE:${target}>\n")
endforeach()
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/versioned-binaries CONTENT "${paths}")
