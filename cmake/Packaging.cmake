# Packages with CPack: `cpack -G DEB` and `cpack -G TGZ` from the native
# build, `cpack -G ZIP` from each MinGW build (one zip per architecture).
set(CPACK_PACKAGE_NAME microtune)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "microtune developers")
set(CPACK_PACKAGE_CONTACT "microtune developers <microtune@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "play music in any tuning on General MIDI synthesizers")
set(CPACK_PACKAGE_DESCRIPTION "\
microtune lets a program play music in any tuning on General MIDI
synthesizers: each degree of a scale becomes the nearest MIDI note plus a
14-bit pitch bend, on a channel whose bend fits, so that differently bent
notes sound together. This package has the shared library with its C
header, pkg-config file and CMake package, the built-in FluidSynth
synthesizer it plays on without MIDI hardware (calibrated for Debian's
General MIDI fonts), and the command-line host microtune.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build" "/\\\\.git")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
else()
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Dependencies from the shared libraries the files link; the companion's
  # private folder is searched too.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_INSTALL_LIBDIR}/microtune)
  # The Python package travels in the same package: 40 KB of pure Python
  # that only works with this soname, so it needs no package of its own.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3:any")
  # The shlibs file by hand, and the loader's cache refreshed by a trigger
  # rather than by maintainer scripts.
  configure_file(${CMAKE_CURRENT_LIST_DIR}/packaging/shlibs
    ${PROJECT_BINARY_DIR}/packaging/shlibs @ONLY)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_BINARY_DIR}/packaging/shlibs ${CMAKE_CURRENT_LIST_DIR}/packaging/triggers)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The built-in synthesizer's default font.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fluid-soundfont-gm | timgm6mb-soundfont")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "jackd2")

  # Debian wants a changelog beside the copyright, compressed reproducibly.
  set(MICROTUNE_DEB_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/packaging/changelog.Debian
    ${PROJECT_BINARY_DIR}/packaging/changelog.Debian @ONLY)
  execute_process(COMMAND gzip -9n -c ${PROJECT_BINARY_DIR}/packaging/changelog.Debian
    OUTPUT_FILE ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/microtune)
endif()

include(CPack)
