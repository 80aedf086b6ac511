// The scales and keyboard maps installed with microtune, found by bare name
// (--scale just12.scl) from any folder.
#ifndef MICROTUNE_SHIPPED_FILES_H
#define MICROTUNE_SHIPPED_FILES_H

#include <string>

namespace mthost {

// The file a scale or keyboard-map argument names: the argument itself when
// it exists or has a folder part (a path always means what it says), else
// the installed file of that name when there is one, else the argument.
std::string ResolveShippedFile(const std::string &argument);

}  // namespace mthost

#endif
