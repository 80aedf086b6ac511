// microtune scale SCALE [--1o1 HZ]: what the degrees of SCALE play, degree
// by degree with ratio, cents and frequency.
#include <cmath>
#include <cstdio>

#include "commands/commands.h"
#include "formats/text_file.h"
#include "host_error.h"
#include "library/tuning.h"

namespace mthost {
namespace {

// A series has no period to show; these degrees show how it climbs.
constexpr int SERIES_DEGREES_SHOWN = 13;

void PrintRow(int degree, const Tuning &tuning) {
    const double ratio = RatioOfDegree(tuning.ratios, degree);
    if (ratio > 0.0)
        std::printf("%6d  %12.6f  %10.3f  %12.3f\n", degree, ratio, 1200.0 * std::log2(ratio),
                    ratio * tuning.hz1o1);
    else
        std::printf("%6d  %12.6f  %10s  %12s\n", degree, ratio, "-", "no pitch");
}

// A CSV field: quoted when it holds a comma, a quote or a line end.
std::string CsvField(const std::string &text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// One CSV of every scale given, one row per degree with the scale's file
// name in the first column; a scale that cannot be read gets one line on
// standard error and the others go on.
void PrintCsv(const std::vector<std::string> &scales, double hz) {
    std::printf("file,degree,ratio,cents,hz\n");
    size_t refused = 0;
    for (const std::string &name : scales) {
        try {
            const Tuning tuning = InstallTuning(LoadScaleArgument(name), hz);
            const std::vector<double> &ratios = tuning.ratios;
            const int degrees =
                IsSeries(ratios) ? SERIES_DEGREES_SHOWN : static_cast<int>(ratios.size());
            const std::string file = CsvField(PrintableName(name));
            for (int degree = 0; degree < degrees; ++degree) {
                const double ratio = RatioOfDegree(ratios, degree);
                if (ratio > 0.0)
                    std::printf("%s,%d,%.6f,%.3f,%.3f\n", file.c_str(), degree, ratio,
                                1200.0 * std::log2(ratio), ratio * tuning.hz1o1);
                else
                    std::printf("%s,%d,%.6f,,\n", file.c_str(), degree, ratio);
            }
        } catch (const HostError &e) {
            ++refused;
            std::fflush(stdout);
            std::fprintf(stderr, "microtune: %s\n", e.what());
            std::fflush(stderr);
        }
    }
    std::fflush(stdout);
    std::fprintf(stderr, "%zu scale%s, %zu read, %zu refused\n", scales.size(),
                 scales.size() == 1 ? "" : "s", scales.size() - refused, refused);
    if (refused)
        throw HostError(std::to_string(refused) + " of " + std::to_string(scales.size()) +
                        " scales could not be read");
}

}  // namespace

void AddScaleCommand(CLI::App &app) {
    CLI::App *command = app.add_subcommand(
        "scale", "Show what the degrees of a scale play: degree, ratio, cents and frequency");
    struct Options {
        std::vector<std::string> words;
        double hz = 0.0;
        bool verbose = false;
        bool csv = false;
    };
    auto options = std::make_shared<Options>();
    command
        ->add_option("SCALE", options->words,
                     "A scale text (e.g. 9/8 5/4 4/3 3/2 5/3 15/8 2/1, quoted or not) or a Scala "
                     ".scl file")
        ->required();
    Add1o1Option(*command, options->hz);
    command->add_flag("-v,--verbose", options->verbose, "Say how SCALE was read");
    command->add_flag("--csv", options->csv,
                      "Every SCALE is a file: one CSV of all their degrees, the file in the "
                      "first column; the summary on standard error");
    command->callback([options] {
        if (options->csv) {
            PrintCsv(options->words, options->hz);
            return;
        }
        // Several words typed without quotes are one scale text.
        std::string text;
        for (const std::string &word : options->words) text += (text.empty() ? "" : " ") + word;
        const ScaleArgument scale = LoadScaleArgument(text);
        if (options->verbose) std::printf("Scale: %s\n", scale.reading.c_str());
        const Tuning tuning = InstallTuning(scale, options->hz);
        const std::vector<double> &ratios = tuning.ratios;
        std::printf("%s\n", tuning.description.c_str());
        if (IsSeries(ratios)) {
            const double step = ratios[0] - 1.0;
            std::printf(
                "A series, not a repeating scale: degree k plays 1 + k x %.6f (below 0, 1/(1 + "
                "|k| x %.6f)); 1/1 = %.3f Hz\n",
                step, step, tuning.hz1o1);
            std::printf("%6s  %12s  %10s  %12s\n", "degree", "ratio", "cents", "Hz");
            for (int degree = 0; degree < SERIES_DEGREES_SHOWN; ++degree) PrintRow(degree, tuning);
            return;
        }
        const size_t steps = ratios.size() - 1;
        std::printf("%zu step%s to the period %.6f (%.3f cents), 1/1 = %.3f Hz\n", steps,
                    steps == 1 ? "" : "s", ratios.back(), 1200.0 * std::log2(ratios.back()),
                    tuning.hz1o1);
        std::printf("%6s  %12s  %10s  %12s\n", "degree", "ratio", "cents", "Hz");
        for (size_t degree = 0; degree < ratios.size(); ++degree)
            PrintRow(static_cast<int>(degree), tuning);
    });
}

}  // namespace mthost
