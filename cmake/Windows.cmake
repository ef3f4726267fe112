# Windows build: kavo.exe, the test programs, and their tests under Wine.
set(CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS} -Wall -Wextra -fexec-charset=CP932")

# The same sources make the 32-bit kavo.exe and the 64-bit one; each runs its
# tests under the matching Wine. 64-bit Windows accepts no subsystem below 5.2.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KAVO_WINE_ARCH win64)
    set(KAVO_SUBSYSTEM_VERSION 5 2)
else()
    set(KAVO_WINE_ARCH win32)
    set(KAVO_SUBSYSTEM_VERSION 4 0)
endif()
list(GET KAVO_SUBSYSTEM_VERSION 0 KAVO_SUBSYSTEM_MAJOR)
list(GET KAVO_SUBSYSTEM_VERSION 1 KAVO_SUBSYSTEM_MINOR)

# One place knows how to run a Windows program under the test prefix.
set(KAVO_WINE_ROOT ${CMAKE_BINARY_DIR}/wine)
configure_file(tests/wine/winerun.sh.in ${CMAKE_BINARY_DIR}/winerun @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(WINERUN ${CMAKE_BINARY_DIR}/winerun)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINERUN} run)

# The product: small (the 32-bit file at most 64 KiB), no exceptions or RTTI,
# and every library linked in so that only system DLLs are imported. No
# -fdata-sections: with it mingw's GCC puts zero-initialised data
# (ProgramContext) in .data$ sections, and the file then holds its two
# kilobytes of zeros.
set(KAVO_PRODUCT_OPTIONS -Oz -fno-exceptions -fno-rtti -ffunction-sections)
# Without exceptions the 32-bit program needs no DWARF unwind tables (Windows
# unwinds x86 code through the exception handlers' chain, not through tables
# or frame pointers), nor a frame pointer in every function; 64-bit Windows
# unwinds every function through its table, so the 64-bit program keeps them.
if(KAVO_WINE_ARCH STREQUAL win32)
    list(APPEND KAVO_PRODUCT_OPTIONS -fno-asynchronous-unwind-tables -fomit-frame-pointer)
endif()
# -nostartfiles: kavo has its own entry point (entry/main.cpp), without the C
# runtime's start-up code. That code also patched references to data in DLLs
# declared without dllimport: the linker now refuses them.
set(KAVO_PRODUCT_LINK -static -mwindows -nostartfiles -s -Wl,--gc-sections
                      -Wl,--disable-auto-import -Wl,--disable-runtime-pseudo-reloc
                      -Wl,--major-subsystem-version,${KAVO_SUBSYSTEM_MAJOR}
                      -Wl,--minor-subsystem-version,${KAVO_SUBSYSTEM_MINOR})

# The texts of the event log entries: windmc reads the UTF-8 source (code page
# 65001) and writes a message table for each language, with the header of the
# event ids and the resource script that holds them. The Japanese table is
# UTF-16 (-U), so that it reads the same under every code page; the English
# texts are ASCII, which every code page reads alike, and their table holds
# them in single bytes (-A), half the size.
set(KAVO_EVENTS_DIR ${CMAKE_BINARY_DIR}/events)
set(KAVO_EVENTS_HEADER ${KAVO_EVENTS_DIR}/event_messages.h)
set(KAVO_EVENTS_RC ${KAVO_EVENTS_DIR}/event_messages.rc)
set(KAVO_EVENTS_ASCII_DIR ${KAVO_EVENTS_DIR}/ascii)
add_custom_command(OUTPUT ${KAVO_EVENTS_HEADER} ${KAVO_EVENTS_RC} ${KAVO_EVENTS_DIR}/event_messages_MSG00409.bin
                          ${KAVO_EVENTS_DIR}/event_messages_MSG00411.bin
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KAVO_EVENTS_ASCII_DIR}
    COMMAND ${CMAKE_MC_COMPILER} -C 65001 -U -b -h ${KAVO_EVENTS_DIR} -r ${KAVO_EVENTS_DIR}
            ${CMAKE_SOURCE_DIR}/src/resources/event_messages.mc
    COMMAND ${CMAKE_MC_COMPILER} -C 65001 -A -b -h ${KAVO_EVENTS_ASCII_DIR} -r ${KAVO_EVENTS_ASCII_DIR}
            ${CMAKE_SOURCE_DIR}/src/resources/event_messages.mc
    COMMAND ${CMAKE_COMMAND} -E copy ${KAVO_EVENTS_ASCII_DIR}/event_messages_MSG00409.bin ${KAVO_EVENTS_DIR}
    DEPENDS src/resources/event_messages.mc
    VERBATIM)

file(GLOB KAVO_CORE_SOURCES CONFIGURE_DEPENDS src/*/*.cpp)
list(FILTER KAVO_CORE_SOURCES EXCLUDE REGEX "(_test|/main)\\.cpp$")
add_library(kavo_core STATIC ${KAVO_CORE_SOURCES} ${KAVO_EVENTS_HEADER})
target_include_directories(kavo_core PUBLIC src PRIVATE ${KAVO_EVENTS_DIR})
target_compile_options(kavo_core PRIVATE ${KAVO_PRODUCT_OPTIONS})
# shell32 and comdlg32 are loaded by the dialog when it opens, not imported.
target_link_libraries(kavo_core PUBLIC advapi32 user32)

add_executable(kavo WIN32 src/entry/main.cpp src/resources/kavo.rc ${KAVO_EVENTS_RC})
set_source_files_properties(src/resources/kavo.rc PROPERTIES OBJECT_DEPENDS
                            "${CMAKE_SOURCE_DIR}/src/resources/kavo.manifest;${CMAKE_SOURCE_DIR}/src/resources/kavo.ico")
target_compile_options(kavo PRIVATE ${KAVO_PRODUCT_OPTIONS})
target_link_options(kavo PRIVATE ${KAVO_PRODUCT_LINK})
target_link_libraries(kavo PRIVATE kavo_core)
set_target_properties(kavo PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

add_subdirectory(tests)
include(cmake/Release.cmake)
