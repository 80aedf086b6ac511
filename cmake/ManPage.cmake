# microtune.1, generated from the program's own --help and that of every
# subcommand with help2man, so that it never disagrees with the program.
# A sanitizer build's program may report at exit, and ships nowhere.
if(MICROTUNE_SANITIZE)
  return()
endif()
find_program(HELP2MAN help2man)
find_program(GZIP gzip)
if(NOT HELP2MAN OR NOT GZIP)
  message(WARNING "help2man or gzip not found: no manual page (scripts/setup.sh installs them)")
  return()
endif()
set(page ${PROJECT_BINARY_DIR}/man/microtune.1)
add_custom_command(OUTPUT ${page} ${page}.gz
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:microtune_host> -DHELP2MAN=${HELP2MAN}
    -DGZIP=${GZIP} -DPAGE=${page} -P ${CMAKE_CURRENT_LIST_DIR}/manpage.cmake
  DEPENDS microtune_host ${CMAKE_CURRENT_LIST_DIR}/manpage.cmake
  COMMENT "Writing the manual page microtune.1"
  VERBATIM)
add_custom_target(microtune_man_page ALL DEPENDS ${page}.gz)
install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
