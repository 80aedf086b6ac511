// Options that several subcommands share, and the checks of numeric option
// values, with one wording everywhere.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "commands/commands.h"
#include "formats/names.h"
#include "host_error.h"
#include "library/companion_start.h"
#include "library/output.h"
#include "library/tuning.h"
#include "output_file/output_file.h"
#include "tembrel_abi.h"

namespace mthost {
namespace {

// Bounds as a user writes them: 0.001, 3600, 20000.
std::string Short(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

bool ParseNumber(const std::string &text, double *value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    char *end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0';
}

bool ParseWhole(const std::string &text, long *value) {
    std::size_t start = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (start == text.size()) return false;
    for (std::size_t i = start; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    errno = 0;
    *value = std::strtol(text.c_str(), nullptr, 10);
    return errno == 0;
}

// DEVICE is a number from `microtune devices` or a part of a device's name
// (any case), so that a device is found again when ports come and go. A
// part that several names contain must match one of them exactly.
std::string ResolveDevice(std::string &value) {
    long number = 0;
    if (ParseWhole(value, &number)) {
        if (number < 0)
            return value +
                   " is not a device number: devices are numbered from 0 (see: microtune "
                   "devices)";
        return std::string();
    }
    double ignored = 0.0;
    if (ParseNumber(value, &ignored)) return "'" + value + "' is not a whole number";
    if (value.empty()) return "empty device name";
    const std::vector<std::string> devices = ListDevices();
    const std::vector<std::size_t> matches = MatchingNames(devices, value);
    if (matches.empty()) return "no device matches '" + value + "' (see: microtune devices)";
    if (matches.size() > 1) {
        std::string list;
        for (std::size_t i : matches)
            list += (list.empty() ? "" : ", ") + std::to_string(i) + " " + devices[i];
        return "'" + value + "' matches several devices (" + list +
               "): give its number or more of its name";
    }
    value = std::to_string(matches[0]);
    return std::string();
}

// A frequency such as --1o1: a number of Hz from MIN_1O1_HZ to MAX_1O1_HZ.
CLI::Validator PositiveHz() {
    return CLI::Validator(
        [](std::string &value) -> std::string {
            char *end = nullptr;
            const double hz = std::strtod(value.c_str(), &end);
            if (value.empty() || end == value.c_str() || *end != '\0' || !std::isfinite(hz))
                return "'" + value + "' is not a number";
            if (hz < MIN_1O1_HZ || hz > MAX_1O1_HZ)
                return value + " Hz is out of range 20 to 20000 Hz";
            return std::string();
        },
        "");
}

}  // namespace

CLI::Validator WholeNumber(long min, long max) {
    return CLI::Validator(
        [min, max](std::string &value) -> std::string {
            long number = 0;
            if (!ParseWhole(value, &number)) return "'" + value + "' is not a whole number";
            if (number < min || number > max)
                return value + " is out of range " + std::to_string(min) + " to " +
                       std::to_string(max);
            return std::string();
        },
        "");
}

CLI::Validator FiniteNumber(double min, double max, const char *unit) {
    const std::string suffix = *unit ? std::string(" ") + unit : std::string();
    return CLI::Validator(
        [min, max, suffix](std::string &value) -> std::string {
            double number = 0.0;
            if (!ParseNumber(value, &number) || !std::isfinite(number))
                return "'" + value + "' is not a number";
            if (number < min || number > max)
                return value + suffix + " is out of range " + Short(min) + " to " + Short(max) +
                       suffix;
            return std::string();
        },
        "");
}

CLI::Validator NonEmpty(const char *what) {
    const std::string message = std::string("empty ") + what;
    return CLI::Validator(
        [message](std::string &value) { return value.empty() ? message : std::string(); }, "");
}

void AddDeviceOption(CLI::App &command, int &device) {
    command
        .add_option("--device", device,
                    std::string("Output device: a number from `microtune devices` or a part of "
                                "its name (default: ") +
                        (BuiltInUnavailable().empty() ? "the built-in software synthesizer"
                                                      : "0, the first device") +
                        ")")
        ->type_name("DEVICE")
        ->transform(CLI::Validator(&ResolveDevice, ""));
}

void AddScaleOption(CLI::App &command, std::string &scale) {
    command
        .add_option("--scale", scale,
                    "A scale text (\"9/8 5/4 3/2 2/1\") or a Scala .scl file (default: 12-TET)")
        ->type_name("SCALE");
}

void Add1o1Option(CLI::App &command, double &hz) {
    command
        .add_option("--1o1", hz,
                    "Frequency of the 1/1 in Hz, " + Short(MIN_1O1_HZ) + " to " +
                        Short(MAX_1O1_HZ) + " (default: 261.626, middle C)")
        ->type_name("HZ")
        ->check(PositiveHz());
}

void AddKbmOption(CLI::App &command, std::string &kbm) {
    CLI::Option *option = command.add_option(
        "--kbm", kbm,
        "A Scala keyboard map (.kbm): which key plays which degree; its reference key and "
        "frequency set the 1/1");
    for (const char *other : {"--root", "--1o1"})
        if (CLI::Option *excluded = command.get_option_no_throw(other)) option->excludes(excluded);
}

void AddMidOption(CLI::App &command, std::string &path) {
    command
        .add_option("--mid", path,
                    "Also write what the built-in software synthesizer plays as a MIDI file")
        ->type_name("FILE")
        ->check(NonEmpty("file name"));
}

void AddRootOption(CLI::App &command, int &root) {
    command.add_option("--root", root, "The key that plays the 1/1, 0 to 127 (default: 60)")
        ->type_name("KEY")
        ->check(WholeNumber(0, 127));
}

void AddVoiceOption(CLI::App &command, std::string &voice, const char *fallback) {
    command
        .add_option("--voice", voice,
                    std::string("General MIDI voice: a number 0-127 or a part of its name "
                                "(default: ") +
                        fallback + ")")
        ->type_name("VOICE");
}

void AddWavOption(CLI::App &command, std::string &path, SoundSettings &sound,
                  const std::string &description) {
    command.add_option("--wav", path, description)->type_name("FILE")->check(NonEmpty("file name"));
    command
        .add_option("--wav-format", sound.wavFormat,
                    "The WAV file's samples: float (32-bit floating point, which no chord can "
                    "clip), pcm16 or pcm24 (integers, which more programs read; loud chords "
                    "clip at full scale) (default: float)")
        ->type_name("float|pcm16|pcm24")
        ->check(CLI::Validator(
            [](std::string &value) {
                return value == "float" || value == "pcm16" || value == "pcm24"
                           ? std::string()
                           : "'" + value + "' is not float, pcm16 or pcm24";
            },
            ""));
    command
        .add_option("--gain", sound.gainDb,
                    "Louder or softer by this many decibels, -60 to 30, on all that the built-in "
                    "software synthesizer plays (default: 0; renders peak well below full scale)")
        ->type_name("DB")
        ->check(FiniteNumber(TEMBREL_GAIN_MIN_DB, TEMBREL_GAIN_MAX_DB, "dB"));
}

void RefuseOneFileForTwoOutputs(const char *firstOption, const std::string &first,
                                const char *secondOption, const std::string &second) {
    if (first.empty() || second.empty() || !mtio::SameOutput(first, second)) return;
    throw HostError(std::string(firstOption) + " " + first + " and " + secondOption + " " + second +
                        " are one file: the second would replace the first",
                    2);
}

}  // namespace mthost
