#include "library/companion_start.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "microtune.h"
#include "tembrel_abi.h"

namespace mthost {

std::string BuiltInUnavailable() { return std::string(); }

std::string SoundFontPath() {
    const char *font = std::getenv(TEMBREL_SOUNDFONT_ENV);
    return font && *font ? font : TEMBREL_DEFAULT_SOUNDFONT;
}

// A SoundFont is a RIFF file of form "sfbk".
std::string FontProblem() {
    const std::string font = SoundFontPath();
    const bool named = std::getenv(TEMBREL_SOUNDFONT_ENV) && *std::getenv(TEMBREL_SOUNDFONT_ENV);
    const char *from =
        named ? " (" TEMBREL_SOUNDFONT_ENV ")" : " (set " TEMBREL_SOUNDFONT_ENV " to use another)";
    std::error_code ignored;
    if (!std::filesystem::exists(font, ignored))
        return "the sound font " + font + " does not exist" +
               (named ? from
                      : ": install timgm6mb-soundfont or fluid-soundfont-gm, or "
                        "set " TEMBREL_SOUNDFONT_ENV);
    char header[12] = {};
    std::FILE *file = std::fopen(font.c_str(), "rb");
    if (!file || std::filesystem::is_directory(font, ignored)) {
        if (file) std::fclose(file);
        return "the sound font " + font + " cannot be read" + from;
    }
    const size_t got = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    if (got < sizeof header || std::memcmp(header, "RIFF", 4) != 0 ||
        std::memcmp(header + 8, "sfbk", 4) != 0)
        return "the sound font " + font + " is not a SoundFont" + from;
    return std::string();
}

std::string WhyBuiltInFails(const std::string &wav) {
    const std::string font = FontProblem();
    if (!font.empty()) return font;
    if (wav.empty()) return "no live audio output could be opened";
    std::error_code ignored;
    if (std::filesystem::is_directory(wav, ignored))
        return "cannot write " + wav + ": it is a directory";
    const std::filesystem::path parent = std::filesystem::path(wav).parent_path();
    const std::string folder = parent.empty() ? "." : parent.string();
    if (!std::filesystem::is_directory(folder, ignored))
        return "cannot write " + wav + ": the folder " + folder + " does not exist";
    // Opening the file the way the companion does tells what the system says;
    // a file made only for the test goes again.
    const bool existed = std::filesystem::exists(wav, ignored);
    const int fd = open(wav.c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd < 0) return "cannot write " + wav + ": " + std::strerror(errno);
    close(fd);
    if (!existed) unlink(wav.c_str());
    return "the companion " + std::string(TEMBREL_MODULE_FILE) +
           " failed to start with the sound font " + SoundFontPath() + " and " + wav;
}

int StartCompanion(int device, CompanionStart start, const std::string &wav,
                   const SoundSettings &sound) {
    char gain[32];
    std::snprintf(gain, sizeof gain, "%.17g", sound.gainDb);
    setenv(TEMBREL_GAIN_ENV, gain, 1);
    setenv(TEMBREL_WAV_FORMAT_ENV, sound.wavFormat.c_str(), 1);
    switch (start) {
        case CompanionStart::LIVE:
            unsetenv(TEMBREL_WAV_ENV);
            break;
        case CompanionStart::RENDER:
            setenv(TEMBREL_WAV_ENV, wav.c_str(), 1);
            setenv(TEMBREL_CLOCK_ENV, TEMBREL_CLOCK_DELAY, 1);
            break;
        case CompanionStart::RENDER_IN_REAL_TIME:
            setenv(TEMBREL_WAV_ENV, wav.c_str(), 1);
            unsetenv(TEMBREL_CLOCK_ENV);
            break;
    }
    if (device >= 0) return StartMidiOutForiDev(device);
    // Unlisted: the synthesizer started directly, then the output on it.
    return StartQT() == 1 ? OpenMidiOut(-1) : 0;
}

}  // namespace mthost
