# The fault-injection library that the process tests preload into the
# program, and its path handed to those tests. Included from the tests block
# after the test programs are made.
enable_language(C)
add_library(kotran_fault_shim SHARED ${CMAKE_CURRENT_LIST_DIR}/fault_shim.c)
set_target_properties(kotran_fault_shim PROPERTIES C_STANDARD 11 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
target_link_libraries(kotran_fault_shim PRIVATE ${CMAKE_DL_LIBS})
# The library stays plain in a sanitizer build: it is preloaded ahead of the
# sanitizer runtime, and its calls go on to the runtime's own wrappers.
target_compile_options(kotran_fault_shim PRIVATE -fno-sanitize=all)
target_link_options(kotran_fault_shim PRIVATE -fno-sanitize=all)
# A statically linked program takes no preloaded library: the runs that
# preload the shim run the same program linked against the shared C library.
add_executable(kotran_preloadable ${CMAKE_SOURCE_DIR}/src/driver/main.cpp)
target_link_libraries(kotran_preloadable PRIVATE kotran_core)
foreach(kotran_shim_user fault_injection_test atomic_output_test)
  if(TARGET ${kotran_shim_user})
    target_compile_definitions(${kotran_shim_user} PRIVATE KOTRAN_FAULT_SHIM="$<TARGET_FILE:kotran_fault_shim>"
                               KOTRAN_PRELOADABLE_EXE="${kotran_preloadable_exe}")
    add_dependencies(${kotran_shim_user} kotran_fault_shim kotran_preloadable)
  endif()
endforeach()
