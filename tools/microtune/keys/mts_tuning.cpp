#include "keys/mts_tuning.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace mthost {
namespace {

constexpr unsigned char SYSEX = 0xF0, END_OF_SYSEX = 0xF7;
constexpr unsigned char NON_REAL_TIME = 0x7E, REAL_TIME = 0x7F;
constexpr unsigned char MIDI_TUNING = 0x08, BULK_DUMP = 0x01, SINGLE_NOTE = 0x02;
// Steps of 1/16384 semitone from key 0: the largest is 7F 7F 7E.
constexpr int64_t HIGHEST_STEP = 127 * int64_t{MTS_FRACTIONS} + MTS_FRACTIONS - 2;
constexpr int KEYS_PER_MESSAGE = 64;

double TwelveTetHz(int key) { return 440.0 * std::exp2((key - 69) / 12.0); }

std::string KeyList(const MtsTable &table, bool (*pick)(const MtsKey &)) {
    std::string list;
    for (int key = 0; key < MTS_KEYS; ++key)
        if (pick(table.keys[key])) list += (list.empty() ? "" : " ") + std::to_string(key);
    return list;
}

}  // namespace

MtsFrequency MtsFrequencyOf(double hz, MtsRange *range) {
    MtsRange where = MtsRange::INSIDE;
    int64_t step = 0;
    // Rounded to the step first, so that a fraction that rounds up to a whole
    // semitone carries into the note instead of reading 16384.
    const double semitones = 69.0 + 12.0 * std::log2(hz / 440.0);
    if (!(hz > 0.0) || semitones * MTS_FRACTIONS < -0.5) {
        where = MtsRange::BELOW;
    } else if (!(semitones * MTS_FRACTIONS < HIGHEST_STEP + 0.5)) {
        where = MtsRange::ABOVE;
        step = HIGHEST_STEP;
    } else {
        step = std::llround(semitones * MTS_FRACTIONS);
    }
    if (range) *range = where;
    const int fraction = static_cast<int>(step % MTS_FRACTIONS);
    return {static_cast<unsigned char>(step / MTS_FRACTIONS),
            static_cast<unsigned char>(fraction >> 7), static_cast<unsigned char>(fraction & 0x7F)};
}

std::optional<double> HzOfMtsFrequency(const MtsFrequency &data) {
    if (data == MTS_NO_CHANGE) return std::nullopt;
    const double fraction = ((data.msb & 0x7F) << 7 | (data.lsb & 0x7F)) / double{MTS_FRACTIONS};
    return 440.0 * std::exp2(((data.semitone & 0x7F) + fraction - 69.0) / 12.0);
}

MtsTable MtsTableForKeys(const KeyLayout &keys, const Tuning &tuning) {
    MtsTable table;
    for (int key = 0; key < MTS_KEYS; ++key) {
        MtsKey &entry = table.keys[key];
        entry.degree = DegreeForKey(keys.map, key, keys.scaleSize);
        if (entry.degree) {
            entry.hz = tuning.hz1o1 * RatioOfDegree(tuning.ratios, *entry.degree);
        } else {
            entry.hz = TwelveTetHz(key);
            ++table.unmapped;
        }
        entry.data = MtsFrequencyOf(entry.hz, &entry.range);
    }
    return table;
}

std::vector<unsigned char> MtsBulkDump(const MtsTable &table, const std::string &name,
                                       int program) {
    std::vector<unsigned char> message = {
        SYSEX,       NON_REAL_TIME, MTS_ALL_DEVICES,
        MIDI_TUNING, BULK_DUMP,     static_cast<unsigned char>(program & 0x7F)};
    // Printable ASCII only, padded with spaces: anything else reads as '?'.
    for (int i = 0; i < MTS_NAME_LENGTH; ++i) {
        const unsigned char c = i < static_cast<int>(name.size()) ? name[i] : ' ';
        message.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    }
    for (const MtsKey &key : table.keys) {
        message.push_back(key.data.semitone);
        message.push_back(key.data.msb);
        message.push_back(key.data.lsb);
    }
    unsigned char checksum = 0;
    for (size_t i = 1; i < message.size(); ++i) checksum ^= message[i];
    message.push_back(checksum & 0x7F);
    message.push_back(END_OF_SYSEX);
    return message;
}

std::vector<std::vector<unsigned char>> MtsSingleNoteChanges(const MtsTable &table, int program) {
    std::vector<std::vector<unsigned char>> messages;
    for (int first = 0; first < MTS_KEYS; first += KEYS_PER_MESSAGE) {
        std::vector<unsigned char> message = {
            SYSEX,           REAL_TIME,   MTS_ALL_DEVICES,
            MIDI_TUNING,     SINGLE_NOTE, static_cast<unsigned char>(program & 0x7F),
            KEYS_PER_MESSAGE};
        for (int key = first; key < first + KEYS_PER_MESSAGE; ++key) {
            const MtsFrequency &data = table.keys[key].data;
            message.insert(message.end(),
                           {static_cast<unsigned char>(key), data.semitone, data.msb, data.lsb});
        }
        message.push_back(END_OF_SYSEX);
        messages.push_back(message);
    }
    return messages;
}

std::vector<std::vector<unsigned char>> MtsSelectTuning(int channel, int bank, int program) {
    const unsigned char cc = static_cast<unsigned char>(0xB0 | (channel & 0x0F));
    const unsigned char b = static_cast<unsigned char>(bank & 0x7F),
                        p = static_cast<unsigned char>(program & 0x7F);
    return {{cc, 101, 0}, {cc, 100, 4}, {cc, 6, b},     {cc, 101, 0},
            {cc, 100, 3}, {cc, 6, p},   {cc, 101, 127}, {cc, 100, 127}};
}

void WarnOutsideMts(const MtsTable &table) {
    const std::string below =
        KeyList(table, [](const MtsKey &k) { return k.range == MtsRange::BELOW; });
    const std::string above =
        KeyList(table, [](const MtsKey &k) { return k.range == MtsRange::ABOVE; });
    if (!below.empty())
        std::fprintf(stderr,
                     "microtune: warning: keys %s are below what MTS reaches (%.3f Hz): sent as "
                     "%.3f Hz\n",
                     below.c_str(), MTS_LOWEST_HZ, MTS_LOWEST_HZ);
    if (!above.empty())
        std::fprintf(stderr,
                     "microtune: warning: keys %s are above what MTS reaches (%.3f Hz): sent as "
                     "%.3f Hz\n",
                     above.c_str(), MTS_HIGHEST_HZ, MTS_HIGHEST_HZ);
}

std::string DescribeUnmapped(const MtsTable &table) {
    if (table.unmapped == 0) return std::string();
    return "unmapped keys keep their 12-TET pitch: " +
           KeyList(table, [](const MtsKey &k) { return !k.degree.has_value(); });
}

}  // namespace mthost
