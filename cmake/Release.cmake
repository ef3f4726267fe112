# The release: program files that are the same bytes wherever and whenever they
# are built, and the example scripts in the bytes cmd reads.

# No link time in the file header, and no source or build folder in any object.
target_link_options(kavo PRIVATE -Wl,--no-insert-timestamp)
foreach(target kavo kavo_core)
    target_compile_options(${target} PRIVATE -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                                             -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
endforeach()

# cmd reads a script in the console's code page: code page 932 with CRLF line
# ends, made from the UTF-8 sources as the program's texts are.
set(KAVO_EXAMPLES_DIR ${CMAKE_BINARY_DIR}/examples)
set(KAVO_EXAMPLES)
foreach(script install.cmd uninstall.cmd)
    set(output ${KAVO_EXAMPLES_DIR}/${script})
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${KAVO_EXAMPLES_DIR}
        COMMAND iconv -f UTF-8 -t CP932 -o ${output}.tmp ${CMAKE_SOURCE_DIR}/examples/${script}
        COMMAND sed -i -e "s/\\r*$/\\r/" ${output}.tmp
        COMMAND ${CMAKE_COMMAND} -E rename ${output}.tmp ${output}
        DEPENDS ${CMAKE_SOURCE_DIR}/examples/${script}
        VERBATIM)
    list(APPEND KAVO_EXAMPLES ${output})
endforeach()
add_custom_target(kavo_examples ALL DEPENDS ${KAVO_EXAMPLES})
add_dependencies(kavo_tests kavo_examples)

# Both program files of the release built again from a copy of the sources in
# another folder, and compared byte for byte. Checked from the 64-bit build,
# which is tested on every kernel.
if(KAVO_WINE_ARCH STREQUAL win64)
    set(reproduced ${CMAKE_SOURCE_DIR}/cmake/mingw-x86_64.cmake=$<TARGET_FILE:kavo>)
    if(KAVO_WIN32_EXE)
        list(APPEND reproduced ${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake=${KAVO_WIN32_EXE})
    endif()
    add_test(NAME release.reproducible
             COMMAND ${CMAKE_SOURCE_DIR}/tests/check_reproducible.sh ${CMAKE_SOURCE_DIR}
                     ${CMAKE_BINARY_DIR}/reproduced ${CMAKE_BUILD_TYPE} ${reproduced})
    set_tests_properties(release.reproducible PROPERTIES TIMEOUT 600)
endif()
