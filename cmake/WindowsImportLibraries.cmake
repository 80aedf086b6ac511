# What the Windows zip holds, flat: microtune.dll, an import library for
# MinGW (libmicrotune.dll.a) and one for Microsoft's linker (microtune.lib),
# the .def they were made from, and the headers.
#
# The DLL exports the decorated names (_PlayScaleDegree@8) on both
# architectures, but a C caller refers to PlayScaleDegree@8 (32-bit) or
# PlayScaleDegree (64-bit): the import libraries map the one to the other
# with the .def's "==" import names, which the linker's own import library
# does not, so they are made here with dlltool.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(caller_name "\\2")
  set(llvm_machine i386:x86-64)
else()
  set(caller_name "\\2@\\3")
  set(llvm_machine i386)
endif()
file(STRINGS ${PROJECT_SOURCE_DIR}/src/platform/microtune.def def_lines)
# GNU dlltool reads "Caller == _Name@N" as the import name of Caller;
# llvm-dlltool (14) as an alias of another entry, so its copy lists the
# decorated entry too and makes the caller's name a weak alias of it.
set(import_def "")
set(llvm_def "")
foreach(line IN LISTS def_lines)
  # A C export under its own name: Name = Name
  string(REGEX REPLACE "^( *)([A-Za-z0-9_]+) *= *\\2 *$" "\\1\\2" line "${line}")
  # A standard-call export: _Name@N = Name@N
  if(line MATCHES "^( *)_([A-Za-z0-9_]+)@([0-9]+) *=")
    string(REGEX REPLACE "^( *)_([A-Za-z0-9_]+)@([0-9]+) *=.*$"
      "\\1${caller_name} == _\\2@\\3" gnu "${line}")
    string(REGEX REPLACE "^( *)_([A-Za-z0-9_]+)@([0-9]+) *=.*$" "\\1_\\2@\\3" decorated "${line}")
    string(APPEND import_def "${gnu}\n")
    string(APPEND llvm_def "${decorated}\n${gnu}\n")
  else()
    string(APPEND import_def "${line}\n")
    string(APPEND llvm_def "${line}\n")
  endif()
endforeach()
set(MICROTUNE_IMPORT_DEF ${PROJECT_BINARY_DIR}/packaging/microtune.def)
set(llvm_import_def ${PROJECT_BINARY_DIR}/packaging/microtune-llvm.def)
file(CONFIGURE OUTPUT ${MICROTUNE_IMPORT_DEF} CONTENT "${import_def}" @ONLY)
file(CONFIGURE OUTPUT ${llvm_import_def} CONTENT "${llvm_def}" @ONLY)

string(REGEX REPLACE "gcc$" "dlltool" mingw_dlltool_guess ${CMAKE_C_COMPILER})
find_program(MINGW_DLLTOOL NAMES ${mingw_dlltool_guess} ${MINGW_TRIPLE}-dlltool)
find_program(LLVM_DLLTOOL NAMES llvm-dlltool)
if(NOT MINGW_DLLTOOL OR NOT LLVM_DLLTOOL)
  message(WARNING "dlltool or llvm-dlltool not found: no import libraries, no zip "
    "(scripts/setup.sh installs them)")
  return()
endif()
set(gnu_implib ${PROJECT_BINARY_DIR}/packaging/libmicrotune.dll.a)
set(ms_implib ${PROJECT_BINARY_DIR}/packaging/microtune.lib)
add_custom_command(OUTPUT ${gnu_implib} ${ms_implib}
  COMMAND ${MINGW_DLLTOOL} -d ${MICROTUNE_IMPORT_DEF} -D microtune.dll -l ${gnu_implib}
  COMMAND ${LLVM_DLLTOOL} -m ${llvm_machine} -d ${llvm_import_def} -D microtune.dll
    -l ${ms_implib}
  DEPENDS ${MICROTUNE_IMPORT_DEF} ${llvm_import_def}
  COMMENT "Import libraries for MinGW and Microsoft's linker"
  VERBATIM)
add_custom_target(microtune_import_libraries ALL DEPENDS ${gnu_implib} ${ms_implib})
# The host (microtune.exe) links the DLL as every C caller does: through
# the MinGW import library, whose names are the callers' names.
add_library(microtune_import INTERFACE)
target_link_libraries(microtune_import INTERFACE ${gnu_implib})
target_include_directories(microtune_import INTERFACE ${PROJECT_SOURCE_DIR}/include)
add_dependencies(microtune_import microtune_import_libraries)

install(FILES $<TARGET_FILE:microtune> ${gnu_implib} ${ms_implib} ${MICROTUNE_IMPORT_DEF}
  ${MICROTUNE_PUBLIC_HEADERS} ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
