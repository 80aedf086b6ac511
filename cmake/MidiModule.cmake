# A module of RtMidi, ALSA and JACK, loaded at run time the first time MIDI
# ports are listed or opened, so that what renders, reads or converts never
# maps them: the library's devices (libmicrotune-devices.so) and the host's
# own ports (libmicrotune-ports.so), both beside libmicrotune.so.
function(microtune_midi_module target output_name)
  add_library(${target} MODULE ${ARGN})
  target_link_libraries(${target} PRIVATE PkgConfig::RTMIDI PkgConfig::ALSA PkgConfig::JACK)
  set_target_properties(${target} PROPERTIES
    PREFIX lib OUTPUT_NAME ${output_name}
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
  if(NOT MICROTUNE_SANITIZE)
    # clang leaves the sanitizer runtime of a shared object to the program.
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()
