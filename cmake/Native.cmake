# Native build: unit tests of the portable core, plain and under ASan/UBSan.
set(CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS} -Wall -Wextra")

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE} googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

foreach(variant plain asan)
    set(target portable_tests_${variant})
    add_executable(${target} ${KAVO_PORTABLE_SOURCES} ${KAVO_PORTABLE_TESTS})
    target_include_directories(${target} PRIVATE src)
    target_link_libraries(${target} PRIVATE gtest_main)
    if(variant STREQUAL asan)
        target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all
                                                 -fno-omit-frame-pointer -g)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
    gtest_discover_tests(${target} TEST_PREFIX "${variant}." DISCOVERY_TIMEOUT 30)
endforeach()

if(EXISTS ${CMAKE_SOURCE_DIR}/fuzz/CMakeLists.txt)
    add_subdirectory(fuzz)
endif()

# The pages in docs/ja and docs/en, and the README's two halves, say the same
# things: same headings, code blocks and links.
add_test(NAME docs.twins COMMAND ${CMAKE_SOURCE_DIR}/tests/check_docs.sh ${CMAKE_SOURCE_DIR})
# The set-up script on a mirror mid-sync, with stand-ins for apt-get and dpkg.
add_test(NAME docs.setup COMMAND ${CMAKE_SOURCE_DIR}/tests/check_setup.sh ${CMAKE_SOURCE_DIR})
