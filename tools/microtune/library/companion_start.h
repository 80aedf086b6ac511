// Starting the built-in software synthesizer (the companion module) through
// the library, and finding out why it did not start.
#ifndef MICROTUNE_LIBRARY_COMPANION_START_H
#define MICROTUNE_LIBRARY_COMPANION_START_H

#include <string>

namespace mthost {

// "" where the built-in software synthesizer runs; otherwise, in one line,
// why it does not (it is not built for Windows).
std::string BuiltInUnavailable();

enum class CompanionStart { LIVE, RENDER, RENDER_IN_REAL_TIME };

// The built-in synthesizer's level and the samples of its WAV files.
struct SoundSettings {
    std::string wavFormat = "float";  // "float" (32-bit), "pcm16" or "pcm24"
    double gainDb = 0.0;              // added to all it plays, live or rendered
};

// Opens library device `device`, the built-in synthesizer (-1: started
// directly, without listing the devices); the library's
// answer (1: open). The companion reads its settings from the environment
// when it starts: they are set here, and nowhere else, just before. Live,
// it plays on the audio driver;
// rendering, it writes `wav`, on a clock that only its delay entry moves
// unless real time counts too.
int StartCompanion(int device, CompanionStart start, const std::string &wav = std::string(),
                   const SoundSettings &sound = SoundSettings());

// The font the companion loads, as it chooses it.
std::string SoundFontPath();

// What keeps the companion from opening its font, or "": the companion
// itself only answers 0.
std::string FontProblem();

// Why the built-in synthesizer did not start, rendering into `wav` (or
// live, when empty).
std::string WhyBuiltInFails(const std::string &wav);

}  // namespace mthost

#endif
