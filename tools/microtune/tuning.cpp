#include "tuning.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "host_error.h"
#include "microtune.h"
#include "scala.h"

namespace mthost {
namespace {

constexpr int TABLE_SIZE = 1024;

bool EndsWithScl(const std::string &s) {
    if (s.size() < 4) return false;
    std::string tail = s.substr(s.size() - 4);
    for (char &c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".scl";
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

}  // namespace

ScaleArgument LoadScaleArgument(const std::string &argument) {
    ScaleArgument scale;
    if (EndsWithScl(argument)) {
        const ScalaScale scala = ReadScalaFile(argument);
        scale.text = scala.scaleText;
        scale.description =
            scala.description.empty() ? argument : scala.description + " (" + argument + ")";
        return scale;
    }
    scale.text = argument;
    bool blank = true;
    for (char c : argument)
        if (!std::isspace(static_cast<unsigned char>(c))) blank = false;
    if (blank) {
        scale.text.clear();
        scale.description = "twelve-tone equal temperament";
        return scale;
    }
    // A mistyped word reads as a scale of the 1/1 alone: refuse it rather
    // than play every degree at the same pitch.
    const std::vector<double> ratios = ParseWithLibrary(argument);
    if (ratios.empty() || (ratios.size() == 1 && ratios[0] == 1.0))
        throw HostError("scale '" + argument +
                        "' has no pitches: give ratios (5/4), cents (386.3) or a .scl file");
    scale.description = argument;
    return scale;
}

std::vector<double> ScaleRatios(const ScaleArgument &scale) {
    if (scale.text.empty()) return {1.0, std::exp2(1.0 / 12.0)};
    return ParseWithLibrary(scale.text);
}

Tuning InstallTuning(const ScaleArgument &scale, double hz) {
    Tuning tuning;
    tuning.description = scale.description;
    Set1o1(hz);  // 0 selects the library's default 1/1
    tuning.hz1o1 = hz > 0.0 ? hz : DEFAULT_1O1_HZ;
    std::vector<char> buffer(scale.text.begin(), scale.text.end());
    buffer.push_back('\0');
    SetMidiScale(buffer.data());
    tuning.ratios = ScaleRatios(scale);
    if (static_cast<int>(tuning.ratios.size()) != GetnScaleNotes())
        throw HostError("the library installed " + std::to_string(GetnScaleNotes()) +
                        " entries where " + std::to_string(tuning.ratios.size()) +
                        " were expected");
    return tuning;
}

double RatioOfDegree(const std::vector<double> &ratios, int degree) {
    const int count = static_cast<int>(ratios.size());
    if (count == 0) return 1.0;
    if (std::fabs(ratios[0] - 1.0) > 0.00001) {
        const double step = ratios[0] - 1.0;
        if (degree >= 0) return 1.0 + degree * step;
        return 1.0 / (1.0 + -static_cast<double>(degree) * step);
    }
    if (count == 1) return 1.0;
    const int m = count - 1;
    int q = degree / m, r = degree % m;
    if (r < 0) {
        r += m;
        --q;
    }
    return std::pow(ratios[m], q) * ratios[r];
}

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

}  // namespace mthost
