# Run when installing: the pkg-config file for the prefix being installed to.
# Under /usr it names /usr plainly; elsewhere it keeps ${pcfiledir}.
file(READ ${MICROTUNE_PC_BUILT} text)
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  string(REGEX REPLACE "^prefix=[^\n]*" "prefix=/usr" text "${text}")
endif()
file(WRITE ${MICROTUNE_PC_STAGED} "${text}")
