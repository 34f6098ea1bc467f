# find_package(RYINET) gives the imported target RYINET::RYINET: RYINET.dll, its header,
# and the import library that fits the consumer's toolchain (RYINET.lib for MSVC and
# clang-cl, libRYINET.dll.a for MinGW). The library is 32-bit only; the version file
# turns a 64-bit consumer away. RYINET::kit is the host kit's implementation
# (ryinet_kit.h), compiled by the consumer's own compiler, once per program that links it.
get_filename_component(_ryinet_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT TARGET RYINET::RYINET)
    if(MSVC OR CMAKE_C_SIMULATE_ID STREQUAL "MSVC" OR CMAKE_CXX_SIMULATE_ID STREQUAL "MSVC")
        set(_ryinet_implib RYINET.lib)
    else()
        set(_ryinet_implib libRYINET.dll.a)
    endif()
    add_library(RYINET::RYINET SHARED IMPORTED)
    set_target_properties(RYINET::RYINET PROPERTIES
        IMPORTED_LOCATION "${_ryinet_prefix}/bin/RYINET.dll"
        IMPORTED_IMPLIB "${_ryinet_prefix}/lib/${_ryinet_implib}"
        INTERFACE_INCLUDE_DIRECTORIES "${_ryinet_prefix}/include")
    unset(_ryinet_implib)
endif()
if(NOT TARGET RYINET::kit)
    # The kit is C and C++ alike: a project without C compiles it as C++.
    get_property(_ryinet_languages GLOBAL PROPERTY ENABLED_LANGUAGES)
    if(NOT "C" IN_LIST _ryinet_languages)
        set_source_files_properties("${CMAKE_CURRENT_LIST_DIR}/ryinet_kit.c" PROPERTIES LANGUAGE CXX)
    endif()
    unset(_ryinet_languages)
    add_library(ryinet_kit STATIC "${CMAKE_CURRENT_LIST_DIR}/ryinet_kit.c")
    target_link_libraries(ryinet_kit PUBLIC RYINET::RYINET wininet rasapi32)
    add_library(RYINET::kit ALIAS ryinet_kit)
endif()
unset(_ryinet_prefix)
