#include "files/file_names.h"

#include <sys/stat.h>

namespace mtfiles {

std::FILE *OpenForReading(const char *name) { return std::fopen(name, "rb"); }

bool IsFolder(const char *name) {
    struct stat status;
    return stat(name, &status) == 0 && (status.st_mode & S_IFMT) == S_IFDIR;
}

}  // namespace mtfiles
