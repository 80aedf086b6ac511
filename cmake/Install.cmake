# What `cmake --install` puts where, in GNU install directories. The tree is
# relocatable: nothing installed names the prefix it was installed to (but
# the pkg-config file of a /usr install, see below), the program finds the
# library through an $ORIGIN-relative RUNPATH, the library finds the
# companion beside itself, and the companion and the program find their data
# relative to their own files. (The install directories themselves:
# InstallDirs.cmake.)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(MICROTUNE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/microtune)
set(MICROTUNE_DATA_DIR ${CMAKE_INSTALL_DATADIR}/microtune)
set(MICROTUNE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/microtune)
set(MICROTUNE_COMPANION_DIR ${CMAKE_INSTALL_LIBDIR}/microtune)

# Every public header there is (another may be added beside microtune.h).
file(GLOB MICROTUNE_PUBLIC_HEADERS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/include/*.h)

target_include_directories(microtune PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/WindowsImportLibraries.cmake)
  if(TARGET microtune_host)
    # microtune.exe beside the DLL, with the scales in a folder beside it.
    target_compile_definitions(mthost_formats PRIVATE MICROTUNE_SCALES_FROM_PROGRAM="scales")
    install(TARGETS microtune_host RUNTIME DESTINATION .)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/tools/microtune/scales/ DESTINATION scales)
  endif()
  return()
endif()

# libmicrotune.so.0.x.y, soname libmicrotune.so.0, and the development link.
set_target_properties(microtune PROPERTIES
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})

install(TARGETS microtune EXPORT microtuneTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${MICROTUNE_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The device module is private to the library, like the companion.
install(TARGETS microtune_devices LIBRARY DESTINATION ${MICROTUNE_COMPANION_DIR})

# A path from one installed folder to another, for files that find each
# other at run time wherever the tree lies.
function(microtune_relative_path out from to)
  file(RELATIVE_PATH path /prefix/${from} /prefix/${to})
  set(${out} ${path} PARENT_SCOPE)
endfunction()

if(TARGET TembrelLib)
  # The companion is private to the library: a folder of its own, out of
  # the loader's search, where libmicrotune.so looks for it.
  install(TARGETS TembrelLib QTJavaNative LIBRARY DESTINATION ${MICROTUNE_COMPANION_DIR})
  # The stub calls nothing, so the linker would leave out even the C library
  # it is loaded with; name it, as every installed library should.
  target_link_options(QTJavaNative PRIVATE -Wl,--no-as-needed)
  microtune_relative_path(calibration_from_companion
    ${MICROTUNE_COMPANION_DIR} ${MICROTUNE_DATA_DIR}/calibration)
  target_compile_definitions(TembrelLib PRIVATE
    MICROTUNE_SYSTEM_CALIBRATION_FROM_MODULE="${calibration_from_companion}")
  include(${CMAKE_CURRENT_LIST_DIR}/SystemCalibration.cmake)
endif()

if(TARGET microtune_host)
  microtune_relative_path(lib_from_bin ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_LIBDIR})
  microtune_relative_path(scales_from_bin ${CMAKE_INSTALL_BINDIR} ${MICROTUNE_DATA_DIR}/scales)
  set_target_properties(microtune_host PROPERTIES INSTALL_RPATH "$ORIGIN/${lib_from_bin}")
  target_compile_definitions(mthost_formats PRIVATE
    MICROTUNE_SCALES_FROM_PROGRAM="${scales_from_bin}")
  install(TARGETS microtune_host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The program's MIDI ports module, where it looks for it: beside the
  # library's own modules.
  install(TARGETS microtune_ports LIBRARY DESTINATION ${MICROTUNE_COMPANION_DIR})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/tools/microtune/scales/
    DESTINATION ${MICROTUNE_DATA_DIR}/scales)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/tools/microtune/examples/
    DESTINATION ${MICROTUNE_DOC_DIR}/examples)
  include(${CMAKE_CURRENT_LIST_DIR}/ManPage.cmake)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/examples/host.c ${PROJECT_SOURCE_DIR}/examples/CMakeLists.txt
  DESTINATION ${MICROTUNE_DOC_DIR}/examples)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${MICROTUNE_DOC_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${MICROTUNE_DOC_DIR}/docs)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/packaging/copyright DESTINATION ${MICROTUNE_DOC_DIR})

# pkg-config: installed to /usr (the Debian package), the file names /usr
# plainly, so that pkg-config drops the system folders from its flags;
# anywhere else every path is relative to the .pc file's own folder, so that
# the tree may move.
microtune_relative_path(prefix_from_pc ${CMAKE_INSTALL_LIBDIR}/pkgconfig .)
configure_file(${CMAKE_CURRENT_LIST_DIR}/packaging/microtune.pc.in
  ${PROJECT_BINARY_DIR}/microtune.pc @ONLY)
install(CODE "set(MICROTUNE_PC_BUILT ${PROJECT_BINARY_DIR}/microtune.pc)
  set(MICROTUNE_PC_STAGED ${PROJECT_BINARY_DIR}/pc-for-install/microtune.pc)
  include(${CMAKE_CURRENT_LIST_DIR}/packaging/install-pc.cmake)")
install(FILES ${PROJECT_BINARY_DIR}/pc-for-install/microtune.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# find_package(microtune): the target microtune::microtune.
install(EXPORT microtuneTargets NAMESPACE microtune:: DESTINATION ${MICROTUNE_PACKAGE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/packaging/microtuneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/microtuneConfig.cmake INSTALL_DESTINATION ${MICROTUNE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/microtuneConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/microtuneConfig.cmake
  ${PROJECT_BINARY_DIR}/microtuneConfigVersion.cmake DESTINATION ${MICROTUNE_PACKAGE_DIR})
