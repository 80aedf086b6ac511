// The built-in software synthesizer on Windows: not there. Every command
// that needs it says so in these words.
#include "library/companion_start.h"

namespace mthost {

std::string BuiltInUnavailable() {
    return "the built-in software synthesizer is not available on Windows: play on a MIDI "
           "device (see: microtune devices)";
}

std::string SoundFontPath() { return std::string(); }

std::string FontProblem() { return std::string(); }

std::string WhyBuiltInFails(const std::string &) { return BuiltInUnavailable(); }

int StartCompanion(int, CompanionStart, const std::string &, const SoundSettings &) { return 0; }

}  // namespace mthost
