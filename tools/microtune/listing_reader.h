#ifndef MICROTUNE_LISTING_READER_H
#define MICROTUNE_LISTING_READER_H

#include <string>

namespace mthost {

// The channel a note went to is known only to the library; its notes-in-play
// listing says it. The listing goes to standard output, so for a moment the
// relay points standard output at a memory file and reads it back.
class ListingReader {
public:
    ListingReader();
    ~ListingReader();
    ListingReader(const ListingReader &) = delete;
    ListingReader &operator=(const ListingReader &) = delete;

    // Call with standard output otherwise idle (the relay's output mutex).
    std::string Read();

private:
    int file_ = -1;
    int saved_ = -1;
};

}  // namespace mthost

#endif
