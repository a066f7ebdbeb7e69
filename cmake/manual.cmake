# Manual pages, made at build time by help2man from the programs' own --help and --version,
# so they say what the options tables say; gzip -9n, as Debian installs them. Left out of
# sanitizer builds, whose programs may not run cleanly at build time.
include(GNUInstallDirs)
set(SONOVERT_MANUALS ON)
if("${CMAKE_CXX_FLAGS}" MATCHES "-fsanitize=")
  set(SONOVERT_MANUALS OFF)
else()
  find_program(HELP2MAN help2man REQUIRED)
endif()

# sonovert_manual_page(TARGET SUMMARY): TARGET.1.gz in section 1, installed with the program.
function(sonovert_manual_page target summary)
  if(NOT SONOVERT_MANUALS)
    return()
  endif()
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            ${HELP2MAN} --no-info --no-discard-stderr --name=${summary}
            --version-string=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR} --output=${page}
            $<TARGET_FILE:${target}>
    COMMAND gzip -9nf ${page}
    DEPENDS ${target}
    COMMENT "Manual page of ${target}"
    VERBATIM)
  add_custom_target(${target}-manual ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
