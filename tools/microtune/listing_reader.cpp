#include "listing_reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>

#include "microtune.h"

namespace mthost {

ListingReader::ListingReader() {
    file_ = memfd_create("microtune-listing", MFD_CLOEXEC);
    saved_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
}

ListingReader::~ListingReader() {
    if (file_ >= 0) close(file_);
    if (saved_ >= 0) close(saved_);
}

std::string ListingReader::Read() {
    if (file_ < 0 || saved_ < 0) return std::string();
    std::fflush(stdout);
    if (ftruncate(file_, 0) != 0 || dup2(file_, STDOUT_FILENO) < 0) return std::string();
    PrintNotesInPlay();
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    std::string text;
    char buffer[4096];
    off_t offset = 0;
    ssize_t n;
    while ((n = pread(file_, buffer, sizeof buffer, offset)) > 0) {
        text.append(buffer, static_cast<size_t>(n));
        offset += n;
    }
    return text;
}

}  // namespace mthost
