// Each subcommand lives in its own file and adds itself to the program with
// one of these; main.cpp calls them in the order they appear in --help.
#ifndef MICROTUNE_COMMANDS_H
#define MICROTUNE_COMMANDS_H

#include <CLI/CLI.hpp>
#include <string>

namespace mthost {

struct SoundSettings;  // library/companion_start.h

void AddDevicesCommand(CLI::App &app);
void AddVoicesCommand(CLI::App &app);
void AddScaleCommand(CLI::App &app);
void AddPlayCommand(CLI::App &app);
void AddDemoCommand(CLI::App &app);
void AddBendTestCommand(CLI::App &app);
void AddRetuneCommand(CLI::App &app);

// Options that several subcommands share, with one wording everywhere.
void AddDeviceOption(CLI::App &command, int &device);
void AddScaleOption(CLI::App &command, std::string &scale);
void Add1o1Option(CLI::App &command, double &hz);
// --kbm excludes --root and --1o1, which the map replaces: add it after them.
void AddKbmOption(CLI::App &command, std::string &kbm);
// --root: the key that plays the 1/1 (default 60); add it before --kbm.
void AddRootOption(CLI::App &command, int &root);
// `fallback` names the voice played when none is given.
void AddVoiceOption(CLI::App &command, std::string &voice, const char *fallback);
// --wav FILE (an empty file name is refused rather than replaced by a
// default), with --wav-format and --gain.
void AddWavOption(CLI::App &command, std::string &path, SoundSettings &sound,
                  const std::string &description);
// Two outputs of one run named so that they end in one file (the same name,
// a link, standard output twice): a usage error, before anything is written.
void RefuseOneFileForTwoOutputs(const char *firstOption, const std::string &first,
                                const char *secondOption, const std::string &second);

// Checks of option values, saying "not a number" or "not a whole number"
// and giving short bounds; `unit` follows the value in messages ("s").
CLI::Validator WholeNumber(long min, long max);
CLI::Validator FiniteNumber(double min, double max, const char *unit);
void AddRelayCommand(CLI::App &app);
void AddKeysCommand(CLI::App &app);
void AddMidOption(CLI::App &command, std::string &path);
void AddCalibrateCommand(CLI::App &app);

}  // namespace mthost

#endif
