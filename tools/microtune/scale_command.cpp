// microtune scale SCALE [--1o1 HZ]: the table that SCALE installs, entry
// by entry with ratio, cents and frequency.
#include <cmath>
#include <cstdio>

#include "commands.h"
#include "tuning.h"

namespace mthost {

void AddScaleCommand(CLI::App &app) {
    CLI::App *command = app.add_subcommand(
        "scale",
        "Show the table a scale installs: index, ratio, cents and frequency of each entry");
    struct Options {
        std::string scale;
        double hz = 0.0;
    };
    auto options = std::make_shared<Options>();
    command
        ->add_option("SCALE", options->scale,
                     "A scale text (e.g. \"9/8 5/4 4/3 3/2 5/3 15/8 2/1\") or a Scala .scl file")
        ->required();
    Add1o1Option(*command, options->hz);
    command->callback([options] {
        const Tuning tuning = InstallTuning(LoadScaleArgument(options->scale), options->hz);
        const std::vector<double> &ratios = tuning.ratios;
        std::printf("%s\n", tuning.description.c_str());
        std::printf("%zu entries, 1/1 = %.3f Hz", ratios.size(), tuning.hz1o1);
        if (ratios.size() >= 2 && std::fabs(ratios[0] - 1.0) <= 0.00001)
            std::printf(", period %.6f (%.3f cents)", ratios.back(),
                        1200.0 * std::log2(ratios.back()));
        std::printf("\n");
        if (!ratios.empty() && std::fabs(ratios[0] - 1.0) > 0.00001)
            std::printf("Entry 0 is not 1/1: degree k plays the series 1 + k x %.6f.\n",
                        ratios[0] - 1.0);
        std::printf("%5s  %12s  %10s  %12s\n", "index", "ratio", "cents", "Hz");
        for (size_t i = 0; i < ratios.size(); ++i) {
            const double cents = ratios[i] > 0.0 ? 1200.0 * std::log2(ratios[i]) : -INFINITY;
            std::printf("%5zu  %12.6f  %10.3f  %12.3f\n", i, ratios[i], cents,
                        ratios[i] * tuning.hz1o1);
        }
    });
}

}  // namespace mthost
