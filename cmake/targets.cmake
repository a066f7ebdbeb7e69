# What every target of the project shares, for the program's build and the fuzz build alike.

# The compiler warnings for the project's own code: each target links sonovert_warnings.
if(NOT TARGET sonovert_warnings)
  add_library(sonovert_warnings INTERFACE)
  target_compile_options(sonovert_warnings INTERFACE -Wall -Wextra)
endif()

# Hardening, as Debian builds its packages: every symbol bound at start-up, so the relocations
# stay read-only, and glibc's checked string and memory functions where the optimiser knows a
# buffer's size. Not under the sanitizers (the fuzz build's SANITIZE too): they check those
# calls themselves and _FORTIFY_SOURCE would hide them from AddressSanitizer.
add_link_options(LINKER:-z,relro,-z,now)
if(NOT "${CMAKE_CXX_FLAGS};${SANITIZE}" MATCHES "-fsanitize=")
  add_compile_options("$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()

# Lets the users of a folder's library write #include "<folder>/x.h" and reach nothing else of
# the source tree: its include directory holds one link, named as the folder, to the folder.
function(sonovert_expose_folder target)
  get_filename_component(folder "${CMAKE_CURRENT_SOURCE_DIR}" NAME)
  set(root "${CMAKE_CURRENT_BINARY_DIR}/exposed")
  file(MAKE_DIRECTORY "${root}")
  file(CREATE_LINK "${CMAKE_CURRENT_SOURCE_DIR}" "${root}/${folder}" SYMBOLIC)
  target_include_directories(${target} PUBLIC "${root}")
endfunction()
