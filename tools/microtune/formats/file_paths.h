// File names as the host holds them: UTF-8 text on every platform, whatever
// the command line or a folder listing gave. These turn them into what the
// system's file calls take (UTF-16 on Windows), so that any name a user can
// type opens the file it names.
#ifndef MICROTUNE_FORMATS_FILE_PATHS_H
#define MICROTUNE_FORMATS_FILE_PATHS_H

#include <cstdio>
#include <filesystem>
#include <string>

namespace mthost {

std::filesystem::path PathOf(const std::string &name);
// A path back as UTF-8 text.
std::string NameOf(const std::filesystem::path &path);
// fopen for a UTF-8 name.
std::FILE *OpenFile(const std::string &name, const char *mode);
// The running program's own file, or an empty path.
std::filesystem::path ProgramFile();
// Whether a character separates folders ('/', and '\' on Windows).
bool IsSeparator(char c);
// Whether a name ends in a folder separator.
bool EndsInSeparator(const std::string &name);
// Whether a name says where the file is: a folder separator, or on Windows
// a drive letter.
bool HasFolderPart(const std::string &name);

}  // namespace mthost

#endif
