# The release: program files that are the same bytes wherever and whenever they
# are built.

# No link time in the file header, and no source or build folder in any object.
target_link_options(kavo PRIVATE -Wl,--no-insert-timestamp)
foreach(target kavo kavo_core)
    target_compile_options(${target} PRIVATE -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                                             -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
endforeach()

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
