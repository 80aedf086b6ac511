// MIDI Tuning Standard (MTS): a synthesizer that tunes its own keys is sent
// each key's frequency in a system-exclusive message, and notes then play on
// any channel with no bend. The frequencies are the ones `microtune keys`
// lists, from the same scale and keyboard map; keys the map leaves unmapped
// keep their 12-TET pitch.
//
// A frequency travels as three 7-bit bytes: the MIDI note at or below it and
// the fraction of a semitone above that note in 1/16384ths (about 0.0061
// cents). 7F 7F 7F is reserved for "no change".
#ifndef MICROTUNE_MTS_TUNING_H
#define MICROTUNE_MTS_TUNING_H

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "keys/key_layout.h"
#include "library/tuning.h"
#include "microtune_files.h"

namespace mthost {

using MidiMessage = std::vector<unsigned char>;

constexpr int MTS_KEYS = 128;
constexpr int MTS_FRACTIONS = 16384;  // steps per semitone
constexpr unsigned char MTS_ALL_DEVICES = 0x7F;
constexpr int MTS_NAME_LENGTH = 16;
// Key 0 in 12-TET (00 00 00) and the highest frequency short of the reserved
// 7F 7F 7F (7F 7F 7E).
constexpr double MTS_LOWEST_HZ = MICROTUNE_MTS_LOWEST_HZ;
constexpr double MTS_HIGHEST_HZ = MICROTUNE_MTS_HIGHEST_HZ;

struct MtsFrequency {
    unsigned char semitone = 0, msb = 0, lsb = 0;
    bool operator==(const MtsFrequency &o) const {
        return semitone == o.semitone && msb == o.msb && lsb == o.lsb;
    }
};
constexpr MtsFrequency MTS_NO_CHANGE{0x7F, 0x7F, 0x7F};

enum class MtsRange { INSIDE, BELOW, ABOVE };

// The nearest MTS frequency data: a frequency outside what MTS can say (or
// with no pitch, 0 Hz or less) becomes the nearest end, and `range` says so.
// Never the reserved 7F 7F 7F.
MtsFrequency MtsFrequencyOf(double hz, MtsRange *range = nullptr);

// The frequency that data asks for; nullopt for 7F 7F 7F, "no change".
std::optional<double> HzOfMtsFrequency(const MtsFrequency &data);

struct MtsKey {
    std::optional<int> degree;  // nullopt: unmapped, kept at 12-TET
    double hz = 0.0;            // what the key should sound
    MtsFrequency data;          // what is sent for it
    MtsRange range = MtsRange::INSIDE;
};

struct MtsTable {
    std::array<MtsKey, MTS_KEYS> keys;
    int unmapped = 0;
    MicrotuneKeyTable library;  // the library's key table, which the messages are made of
};

// Every key's frequency by the library's key table (as `keys` lists it):
// the 1/1 of the tuning times the ratio of the key's degree.
MtsTable MtsTableForKeys(const KeyLayout &keys, const Tuning &tuning);

// Bulk tuning dump (non-real-time): F0 7E dev 08 01 program, a 16-character
// ASCII name, 3 bytes per key 0-127, checksum (XOR of 7E through the last
// data byte, 7 bits), F7.
std::vector<unsigned char> MtsBulkDump(const MtsTable &table, const std::string &name,
                                       int program = 0, int device = MTS_ALL_DEVICES);

// Real-time single-note tuning change for all 128 keys: F0 7F dev 08 02
// program count (key + 3 bytes)... F7. A message holds at most 127 keys,
// so the keys go in two messages of 64.
std::vector<std::vector<unsigned char>> MtsSingleNoteChanges(const MtsTable &table, int program = 0,
                                                             int device = MTS_ALL_DEVICES);

// Which messages carry a table: some synthesizers take only the bulk dump,
// others (FluidSynth among them) only the real-time single-note change.
enum class MtsForm { REALTIME, BULK };

struct MtsSend {
    MtsForm form = MtsForm::REALTIME;
    int device = MTS_ALL_DEVICES;  // system-exclusive device ID, 127: all
    int program = 0;               // tuning program the table goes into
};

// How retune and the relay send the table, for synthesizers that differ in
// what they take and when they forget it.
struct MtsOptions {
    MtsSend send;
    bool restate = false;   // the tuning again after each program change
    double leadBeats = -1;  // retune: the tuning this far ahead; < 0: enough at 31,250 baud
};

// The table in the form asked for (`name` goes into a bulk dump).
std::vector<MidiMessage> MtsTuningMessages(const MtsTable &table, const std::string &name,
                                           const MtsSend &send);
// "bulk tuning dump" or "real-time single-note tuning change".
const char *MtsFormName(MtsForm form);

// Channel messages that make a channel play tuning program `program` of
// bank `bank` (registered parameters 4 and 3), closing the parameter
// afterwards. Synthesizers with one tuning ignore them; FluidSynth needs
// them.
std::vector<std::vector<unsigned char>> MtsSelectTuning(int channel, int bank = 0, int program = 0);

// Range warnings for the command's report: a line on standard error per
// end of the range that keys fell beyond, counting only the keys in
// `played` (all keys when null).
void WarnOutsideMts(const MtsTable &table, const std::array<bool, MTS_KEYS> *played = nullptr);
// The same for one key, or "" when MTS reaches its frequency.
std::string OutsideMtsWarning(const MtsTable &table, int key);
// "unmapped keys keep their 12-TET pitch: 61 63 66", or "".
std::string DescribeUnmapped(const MtsTable &table);

}  // namespace mthost

#endif
