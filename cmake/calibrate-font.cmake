# cmake -DPROGRAM=microtune -DFONT=font.sf2 -DOUT=folder -P calibrate-font.cmake
# Fills OUT/microtune/ with the calibration of every program of FONT, as a
# user's cache would be filled, and logs what was measured in OUT.log.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
set(ENV{XDG_CACHE_HOME} ${OUT})
unset(ENV{MICROTUNE_SOUNDFONT})
execute_process(COMMAND ${PROGRAM} calibrate --all --font ${FONT}
  OUTPUT_FILE ${OUT}.log ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "calibrating ${FONT} failed (${status}): ${errors}")
endif()
file(STRINGS ${OUT}.log summary REGEX "programs? calibrated in")
message(STATUS "${FONT}: ${summary}")
