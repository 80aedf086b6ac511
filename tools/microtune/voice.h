// Finding a General MIDI voice by number or by a whole or partial name.
#ifndef MICROTUNE_VOICE_H
#define MICROTUNE_VOICE_H

#include <string>

namespace mthost {

struct Voice {
    int number = 0;
    std::string name;
};

// The library's lookup, refusing what it would quietly turn into voice 0:
// a query that matches no name, an empty query, a number beyond 127.
Voice LookUpVoice(const std::string &query);

std::string VoiceName(int number);

}  // namespace mthost

#endif
