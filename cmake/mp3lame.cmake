# libmp3lame ships no pkg-config file on Debian: find it by hand as mp3lame::mp3lame.
if(NOT TARGET mp3lame::mp3lame)
  find_path(LAME_INCLUDE_DIR lame/lame.h REQUIRED)
  find_library(LAME_LIBRARY mp3lame REQUIRED)
  add_library(mp3lame::mp3lame UNKNOWN IMPORTED)
  set_target_properties(mp3lame::mp3lame PROPERTIES
    IMPORTED_LOCATION "${LAME_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${LAME_INCLUDE_DIR}")
endif()
