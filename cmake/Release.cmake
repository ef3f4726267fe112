# The release: program files that are the same bytes wherever and whenever they
# are built, and the example scripts in the bytes cmd reads.

# No link time in the file header, and no source or build folder in any object.
target_link_options(kavo PRIVATE -Wl,--no-insert-timestamp)
foreach(target kavo kavo_core)
    target_compile_options(${target} PRIVATE -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                                             -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
endforeach()
