# Fails when a folder includes a header of a folder it may not use, so the dependencies keep
# running one way. Run as: cmake -P cmake/check-includes.cmake (from any directory).
cmake_minimum_required(VERSION 3.25)
get_filename_component(top "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

# Each folder and the project folders it may include from, besides itself.
set(allowed_encoder "")
set(allowed_common "")
set(allowed_options "common;encoder")
set(allowed_files "common;encoder")
set(allowed_info "common")
set(allowed_app "options;files;info;common;encoder")
set(allowed_cli "encoder")
set(folders encoder common options files info app cli)

set(problems "")
foreach(folder IN LISTS folders)
  file(GLOB_RECURSE sources "${top}/${folder}/*.h" "${top}/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
      string(REGEX MATCH "^[^/]+" first "${header}")
      if(header MATCHES "^ui_form1\\.h$" AND NOT folder STREQUAL "app")
        list(APPEND problems "${source}: ${header}")
      elseif(header MATCHES "/" AND first IN_LIST folders AND NOT first STREQUAL folder
             AND NOT first IN_LIST allowed_${folder})
        list(APPEND problems "${source}: ${header}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "Includes against the dependency direction:\n  ${text}")
endif()
message(STATUS "Includes follow the dependency direction.")
