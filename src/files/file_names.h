// A caller's file, opened by the name it gives. Every name the library is
// given is UTF-8; on Windows it reaches the system as UTF-16, so that a name
// the ANSI code page cannot spell still opens, whatever the program's code
// page (file_names_win32.cpp). Elsewhere names go to the system as they are.
#ifndef MICROTUNE_FILES_FILE_NAMES_H
#define MICROTUNE_FILES_FILE_NAMES_H

#include <cstdio>

namespace mtfiles {

// The file opened for reading bytes, or null with errno set.
std::FILE *OpenForReading(const char *name);
// Whether the name is a folder's.
bool IsFolder(const char *name);

}  // namespace mtfiles

#endif
