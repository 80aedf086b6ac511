# GNU install directories, set before any folder of the build uses them.
# On Debian libraries go to the multiarch folder (lib/x86_64-linux-gnu),
# whatever the prefix: the loader searches it under /usr and /usr/local
# alike, and the package must use it.
if(NOT DEFINED CMAKE_INSTALL_LIBDIR AND NOT CMAKE_CROSSCOMPILING AND CMAKE_LIBRARY_ARCHITECTURE
   AND EXISTS /etc/debian_version)
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH
    "Object code libraries (lib/<multiarch> on Debian)")
endif()
include(GNUInstallDirs)
