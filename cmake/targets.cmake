# What every target of the project shares, for the program's build and the fuzz build alike.

# The compiler warnings for the project's own code: each target links sonovert_warnings.
if(NOT TARGET sonovert_warnings)
  add_library(sonovert_warnings INTERFACE)
  target_compile_options(sonovert_warnings INTERFACE -Wall -Wextra)
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
