# The read-only calibration cache installed in share/microtune/calibration/:
# every program of Debian's two General MIDI fonts, measured at build time
# with `microtune calibrate --all` when the fonts are there, so that on an
# installed system the first note of every program is in tune at once,
# with no measuring and no writable cache. Files are keyed by font content,
# so a changed font is simply measured again by the user's companion.
# Measuring under the sanitizers is slow, and such a build ships nowhere.
if(MICROTUNE_SANITIZE)
  set(default OFF)
else()
  set(default ON)
endif()
option(MICROTUNE_SYSTEM_CALIBRATION
  "Calibrate the Debian General MIDI fonts for the installed companion" ${default})
set(MICROTUNE_CALIBRATION_FONTS
  /usr/share/sounds/sf2/FluidR3_GM.sf2 /usr/share/sounds/sf2/TimGM6mb.sf2
  CACHE STRING "SoundFonts whose calibration is installed, where present")
if(NOT MICROTUNE_SYSTEM_CALIBRATION OR NOT TARGET microtune_host)
  return()
endif()

set(calibration_root ${PROJECT_BINARY_DIR}/calibration)
set(stamps "")
foreach(font IN LISTS MICROTUNE_CALIBRATION_FONTS)
  if(NOT EXISTS ${font})
    message(STATUS "${font} not found: no installed calibration for it")
    continue()
  endif()
  get_filename_component(name ${font} NAME_WE)
  # Measured again when the font or the measuring code changes, not when
  # the rest of the program does.
  add_custom_command(OUTPUT ${calibration_root}/${name}.stamp
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:microtune_host> -DFONT=${font}
      -DOUT=${calibration_root}/${name} -P ${CMAKE_CURRENT_LIST_DIR}/calibrate-font.cmake
    COMMAND ${CMAKE_COMMAND} -E touch ${calibration_root}/${name}.stamp
    DEPENDS ${font} $<TARGET_FILE:microtune_calibration>
      ${CMAKE_CURRENT_LIST_DIR}/calibrate-font.cmake
    COMMENT "Calibrating every program of ${name} for the installed companion"
    VERBATIM)
  list(APPEND stamps ${calibration_root}/${name}.stamp)
  install(DIRECTORY ${calibration_root}/${name}/microtune/
    DESTINATION ${MICROTUNE_DATA_DIR}/calibration FILES_MATCHING PATTERN "*.cal")
endforeach()
if(stamps)
  add_custom_target(microtune_system_calibration ALL DEPENDS ${stamps})
  add_dependencies(microtune_system_calibration microtune_host)
endif()
