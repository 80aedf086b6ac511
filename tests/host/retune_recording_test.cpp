// retune records what the library sends through its message tap, on the
// library's recorder route: no synthesizer is loaded, with or without one
// beside the library.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "commands/retune.h"
#include "formats/midi_file.h"

namespace {

std::string LoadedModules() {
    std::ifstream maps("/proc/self/maps");
    return std::string(std::istreambuf_iterator<char>(maps), std::istreambuf_iterator<char>());
}

TEST(RetuneRecording, WritesTheFileWithoutLoadingASynthesizer) {
    const std::string input = testing::TempDir() + "retune-in.mid";
    const std::string output = testing::TempDir() + "retune-out.mid";
    // One track: program 40 on channel 2, middle C and E.
    const unsigned char smf[] = {'M',  'T',  'h', 'd', 0,    0,   0,   6,    0,    0,  0,
                                 1,    0,    96,  'M', 'T',  'r', 'k', 0,    0,    0,  21,
                                 0,    0xC2, 40,  0,   0x92, 60,  90,  0,    64,   90, 96,
                                 0x82, 60,   0,   0,   64,   0,   0,   0xFF, 0x2F, 0};
    std::FILE *file = std::fopen(input.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(smf, 1, sizeof smf, file);
    std::fclose(file);

    mthost::RetuneOptions options;
    mthost::RetuneSetup setup;
    setup.scale = mthost::LoadScaleArgument("5/4 3/2 2/1");
    setup.keys = mthost::LayOutKeys("", 60, 0.0, mthost::ScaleRatios(setup.scale));
    setup.degrees = mthost::DegreesOfKeys(setup.keys);
    EXPECT_EQ(mthost::RetuneFile(options, setup, input, output, true).notes, 2);

    const mthost::MidiFile written = mthost::ReadMidiFile(output);
    int notes = 0, programs = 0;
    for (const mthost::MidiFileEvent &event : written.events) {
        if ((event.bytes[0] & 0xF0) == 0x90 && event.bytes[2] > 0) ++notes;
        if ((event.bytes[0] & 0xF0) == 0xC0 && event.bytes[1] == 40) ++programs;
    }
    EXPECT_EQ(notes, 2);
    EXPECT_GE(programs, 1);  // the part's program, before its notes
    const std::string modules = LoadedModules();
    EXPECT_EQ(modules.find("TembrelLib"), std::string::npos);
    EXPECT_EQ(modules.find("fluidsynth"), std::string::npos);
    // Reading the scale, laying out the keys and retuning open no port, so
    // neither the library's device module nor the host's ports module, nor
    // the MIDI systems behind them, is mapped.
    for (const char *library :
         {"libmicrotune-devices", "libmicrotune-ports", "librtmidi", "libasound", "libjack"})
        EXPECT_EQ(modules.find(library), std::string::npos) << library;
}

}  // namespace
