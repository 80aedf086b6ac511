#include "library/tuning.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "formats/file_paths.h"
#include "formats/shipped_files.h"
#include "formats/text_file.h"
#include "host_error.h"
#include "library/tuning_files.h"
#include "microtune.h"
#include "microtune_ext.h"

namespace mthost {
namespace {

constexpr int TABLE_SIZE = 1024;

bool IsBlank(const std::string &text) {
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) return false;
    return true;
}

// A single word with a letter and a '/' or a '.' that is no pitch value was
// meant as a file name (my_scale.scl.txt, demo.wav, scales/just); n(...) is
// a value.
bool LooksLikeFileName(const std::string &argument) {
    if (argument.find_first_of(" \t\n\v\r") != std::string::npos) return false;
    if (argument.compare(0, 2, "n(") == 0) return false;
    if (argument.find_first_of("/.") == std::string::npos) return false;
    if (std::none_of(argument.begin(), argument.end(),
                     [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }))
        return false;
    return ScaleTextProblem(argument).find("': not a number") != std::string::npos;
}

std::string Hz(double hz) {
    char text[32];
    if (std::fabs(hz) >= 10000.0 && std::isfinite(hz))
        std::snprintf(text, sizeof text, "%.4g kHz", hz / 1000.0);
    else
        std::snprintf(text, sizeof text, "%.4g Hz", hz);
    return text;
}

// The table a scale text gives, read by the library's own parser.
std::vector<double> ParseWithLibrary(const std::string &text) {
    std::vector<double> ratios(TABLE_SIZE, 0.0);
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    int count = 0;
    GetScaleFromText(ratios.data(), &count, buffer.data(), TABLE_SIZE);
    if (count < 0) count = 0;
    ratios.resize(static_cast<size_t>(count));
    return ratios;
}

std::string ReadingOf(const ScaleFile &file) {
    char hz[64];
    std::snprintf(hz, sizeof hz, "%.3f Hz", file.oneOneHz);
    if (file.format == MICROTUNE_FORMAT_TUN)
        return std::string(
                   " as an AnaMark .tun file: key k plays degree k, from the 1/1 of key 0 "
                   "at ") +
               hz;
    if (file.format == MICROTUNE_FORMAT_ASCL)
        return file.oneOneHz > 0.0 ? std::string(" as an Ableton .ascl file: 1/1 = ") + hz +
                                         " from its reference pitch"
                                   : " as an Ableton .ascl file";
    return " as a Scala file";
}

}  // namespace

ScaleArgument LoadScaleArgument(const std::string &argument) {
    ScaleArgument scale;
    if (IsBlank(argument)) {
        scale.description = "twelve-tone equal temperament";
        scale.reading = "no scale given: twelve-tone equal temperament";
        return scale;
    }
    std::error_code ignored;
    const std::string path = ResolveShippedFile(argument);
    if (std::filesystem::exists(PathOf(path), ignored)) {
        const ScaleFile file = ReadScaleFile(path);
        scale.text = file.scaleText;
        scale.description = file.description.empty()
                                ? argument
                                : PrintableName(file.description) + " (" + argument + ")";
        scale.oneOneHz = file.oneOneHz;
        scale.fullKeyboard = file.fullKeyboard;
        scale.file = path;
        scale.source = file;
        scale.reading = "read " + path + ReadingOf(file);
        return scale;
    }
    if (LooksLikeFileName(argument))
        throw HostError("cannot read " + Printable(argument) +
                        ": no such file (and it is not a scale text)");
    const std::string problem = ScaleTextProblem(argument);
    if (!problem.empty()) throw HostError("scale text, " + problem);
    // Nothing but the 1/1 would play every degree at the same pitch.
    const std::vector<double> ratios = ParseWithLibrary(argument);
    bool pitch = false;
    for (double ratio : ratios)
        if (ratio != 1.0) pitch = true;
    if (!pitch)
        throw HostError("scale '" + Printable(argument) +
                        "' has no pitch besides the 1/1: give ratios (5/4), cents (386.3) or a "
                        "Scala file");
    scale.text = argument;
    scale.description = argument;
    scale.reading = "no file named '" + Printable(argument) + "': read it as a scale text";
    return scale;
}

std::vector<double> ScaleRatios(const ScaleArgument &scale) {
    if (scale.text.empty()) return {1.0, std::exp2(1.0 / 12.0)};
    return ParseWithLibrary(scale.text);
}

Tuning PreviewTuning(const ScaleArgument &scale, double hz) {
    Tuning tuning;
    tuning.description = scale.description;
    tuning.hz1o1 = hz > 0.0 ? hz : scale.oneOneHz > 0.0 ? scale.oneOneHz : DEFAULT_1O1_HZ;
    tuning.ratios = ScaleRatios(scale);
    return tuning;
}

Tuning InstallTuning(const ScaleArgument &scale, double hz) {
    const Tuning tuning = PreviewTuning(scale, hz);
    Set1o1(hz > 0.0 ? hz : scale.oneOneHz);  // 0 selects the library's default 1/1
    std::vector<char> buffer(scale.text.begin(), scale.text.end());
    buffer.push_back('\0');
    SetMidiScale(buffer.data());
    if (static_cast<int>(tuning.ratios.size()) != GetnScaleNotes())
        throw HostError("the library installed " + std::to_string(GetnScaleNotes()) +
                        " entries where " + std::to_string(tuning.ratios.size()) +
                        " were expected");
    return tuning;
}

bool IsSeries(const std::vector<double> &ratios) {
    return !ratios.empty() && std::fabs(ratios[0] - 1.0) > 0.00001;
}

void CheckDegrees(const Tuning &tuning, const std::vector<int> &degrees) {
    std::vector<int> warned;
    for (int degree : degrees) {
        if (std::find(warned.begin(), warned.end(), degree) != warned.end()) continue;
        const double hz = tuning.hz1o1 * RatioOfDegree(tuning.ratios, degree);
        if (!(hz > 0.0))
            throw HostError("degree " + std::to_string(degree) + " has no pitch in this scale (" +
                            Hz(hz) + ")");
        if (hz >= LOWEST_PLAYABLE_HZ && hz <= HIGHEST_PLAYABLE_HZ) continue;
        warned.push_back(degree);
        const bool low = hz < LOWEST_PLAYABLE_HZ;
        std::fprintf(stderr,
                     "microtune: warning: degree %d is %s, %s what MIDI notes reach: the library "
                     "plays it at %s\n",
                     degree, Hz(hz).c_str(), low ? "below" : "above",
                     Hz(low ? LOWEST_PLAYABLE_HZ : HIGHEST_PLAYABLE_HZ).c_str());
    }
}

bool IsUsableRatio(double ratio) { return ratio > 1e-100 && ratio < 1e100; }

double RatioOfDegree(const std::vector<double> &ratios, int degree) {
    double ratio = 1.0;
    MicrotuneRatioForScaleDegree(ratios.data(), static_cast<int>(ratios.size()), degree, &ratio);
    return ratio;
}

}  // namespace mthost
