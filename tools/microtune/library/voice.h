// Finding a General MIDI voice by number or by a whole or partial name.
#ifndef MICROTUNE_VOICE_H
#define MICROTUNE_VOICE_H

#include <string>
#include <vector>

namespace mthost {

struct Voice {
    int number = 0;
    std::string name;
};

// The library's lookup, refusing what it would quietly turn into voice 0:
// a query that matches no name, an empty query, a number beyond 127.
Voice LookUpVoice(const std::string &query);

std::string VoiceName(int number);

// Every voice that QUERY names: the library's choice first, then, for a
// name, every other voice whose name contains it (or its singular: strings
// finds String Ensemble 1), in number order.
std::vector<Voice> MatchingVoices(const std::string &query);

}  // namespace mthost

#endif
