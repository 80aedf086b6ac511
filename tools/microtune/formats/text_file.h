// Text from files and file names made safe for a one-line message.
#ifndef MICROTUNE_TEXT_FILE_H
#define MICROTUNE_TEXT_FILE_H

#include <cstddef>
#include <string>

namespace mthost {

// Text from a file made safe for a one-line message: control characters and
// DEL become '?', and anything past maxLength is cut with "...".
std::string Printable(const std::string &text, std::size_t maxLength = 40);

// A file name as messages show it: whole, with control characters, DEL and
// the backslash written as C escapes ("\x1b", "\\"), so that a name can
// never steer the terminal. Where the backslash separates folders
// (Windows), it stays as it is.
std::string PrintableName(const std::string &name);

}  // namespace mthost

#endif
