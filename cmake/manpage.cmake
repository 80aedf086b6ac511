# cmake -DPROGRAM=microtune -DHELP2MAN=help2man -DGZIP=gzip -DPAGE=out.1 -P manpage.cmake
# Writes PAGE and PAGE.gz: help2man's page of `microtune --help`, with a
# section that gives every subcommand's --help as it prints it.
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed")
endif()
string(REGEX MATCH "\nSubcommands:\n(.*)" listing "${help}")
string(REGEX MATCHALL "\n  [a-z][a-z-]*" names "\n${CMAKE_MATCH_1}")
set(section "[SUBCOMMANDS]\n")
foreach(name IN LISTS names)
  string(STRIP "${name}" name)
  execute_process(COMMAND ${PROGRAM} ${name} --help OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${name} --help failed")
  endif()
  # Verbatim in roff: a backslash doubled, no line taken for a request.
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  string(APPEND section ".SS \"microtune ${name}\"\n.nf\n${text}.fi\n")
endforeach()
get_filename_component(folder ${PAGE} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
file(WRITE ${PAGE}.include "${section}")
execute_process(COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section 1
    --name "play music in any tuning on General MIDI synthesizers"
    --include ${PAGE}.include --output ${PAGE} ${PROGRAM}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed")
endif()
# Compressed without a name or time stamp, so that the page is reproducible.
execute_process(COMMAND ${GZIP} -9n -c ${PAGE} OUTPUT_FILE ${PAGE}.gz RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed")
endif()
