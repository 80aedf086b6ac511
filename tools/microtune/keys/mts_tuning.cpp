#include "keys/mts_tuning.h"

#include <cmath>
#include <cstdio>

#include "host_error.h"

namespace mthost {
namespace {

std::string KeyList(const MtsTable &table, bool (*pick)(const MtsKey &)) {
    std::string list;
    for (int key = 0; key < MTS_KEYS; ++key)
        if (pick(table.keys[key])) list += (list.empty() ? "" : " ") + std::to_string(key);
    return list;
}

MtsRange RangeOf(int range) {
    return range < 0 ? MtsRange::BELOW : range > 0 ? MtsRange::ABOVE : MtsRange::INSIDE;
}

MtsFrequency FrequencyOf(const unsigned char data[3]) { return {data[0], data[1], data[2]}; }

std::string RangeWarning(const std::string &keys, int count, MtsRange range) {
    const bool below = range == MtsRange::BELOW;
    const double end = below ? MTS_LOWEST_HZ : MTS_HIGHEST_HZ;
    char line[128];
    std::snprintf(line, sizeof line, " %s what MTS reaches (%.3f Hz): sent as %.3f Hz",
                  below ? "below" : "above", end, end);
    return std::string("microtune: warning: ") + (count == 1 ? "key " : "keys ") + keys +
           (count == 1 ? " is" : " are") + line;
}

}  // namespace

MtsFrequency MtsFrequencyOf(double hz, MtsRange *range) {
    unsigned char data[3];
    const int where = MicrotuneMtsFrequency(hz, data);
    if (range) *range = RangeOf(where);
    return FrequencyOf(data);
}

std::optional<double> HzOfMtsFrequency(const MtsFrequency &data) {
    if (data == MTS_NO_CHANGE) return std::nullopt;
    const double fraction = ((data.msb & 0x7F) << 7 | (data.lsb & 0x7F)) / double{MTS_FRACTIONS};
    return 440.0 * std::exp2(((data.semitone & 0x7F) + fraction - 69.0) / 12.0);
}

MtsTable MtsTableForKeys(const KeyLayout &keys, const Tuning &tuning) {
    MtsTable table;
    // The tuning's 1/1 as it is: the map's reference was applied when the
    // keys were laid out.
    MicrotuneKeyboardMap map = LibraryMap(keys.map);
    map.reference_hz = 0.0;
    char error[4 * MICROTUNE_MESSAGE_SIZE];
    if (MicrotuneMakeKeyTable(tuning.ratios.data(), static_cast<int>(tuning.ratios.size()), &map,
                              keys.map.fileName.c_str(), tuning.hz1o1, &table.library, error,
                              sizeof error) != 1)
        throw HostError(error);
    for (int key = 0; key < MTS_KEYS; ++key) {
        const MicrotuneKey &from = table.library.keys[key];
        MtsKey &entry = table.keys[key];
        if (from.degree != MICROTUNE_UNMAPPED) entry.degree = from.degree;
        entry.hz = from.hz;
        entry.data = FrequencyOf(from.mts);
        entry.range = RangeOf(from.mts_range);
    }
    table.unmapped = table.library.unmapped;
    return table;
}

std::vector<unsigned char> MtsBulkDump(const MtsTable &table, const std::string &name, int program,
                                       int device) {
    std::vector<unsigned char> message(MICROTUNE_MTS_BULK_DUMP_SIZE);
    MicrotuneWriteMtsBulkDump(&table.library, name.c_str(), device, program, message.data(),
                              static_cast<int>(message.size()));
    return message;
}

std::vector<std::vector<unsigned char>> MtsSingleNoteChanges(const MtsTable &table, int program,
                                                             int device) {
    std::vector<unsigned char> bytes(MICROTUNE_MTS_SINGLE_NOTE_SIZE);
    MicrotuneWriteMtsSingleNote(&table.library, device, program, bytes.data(),
                                static_cast<int>(bytes.size()));
    const auto half = bytes.begin() + MICROTUNE_MTS_SINGLE_NOTE_SIZE / 2;
    return {std::vector<unsigned char>(bytes.begin(), half),
            std::vector<unsigned char>(half, bytes.end())};
}

std::vector<MidiMessage> MtsTuningMessages(const MtsTable &table, const std::string &name,
                                           const MtsSend &send) {
    if (send.form == MtsForm::BULK) return {MtsBulkDump(table, name, send.program, send.device)};
    return MtsSingleNoteChanges(table, send.program, send.device);
}

const char *MtsFormName(MtsForm form) {
    return form == MtsForm::BULK ? "bulk tuning dump" : "real-time single-note tuning change";
}

std::vector<std::vector<unsigned char>> MtsSelectTuning(int channel, int bank, int program) {
    const unsigned char cc = static_cast<unsigned char>(0xB0 | (channel & 0x0F));
    const unsigned char b = static_cast<unsigned char>(bank & 0x7F),
                        p = static_cast<unsigned char>(program & 0x7F);
    return {{cc, 101, 0}, {cc, 100, 4}, {cc, 6, b},     {cc, 101, 0},
            {cc, 100, 3}, {cc, 6, p},   {cc, 101, 127}, {cc, 100, 127}};
}

void WarnOutsideMts(const MtsTable &table, const std::array<bool, MTS_KEYS> *played) {
    for (MtsRange range : {MtsRange::BELOW, MtsRange::ABOVE}) {
        std::string list;
        int count = 0;
        for (int key = 0; key < MTS_KEYS; ++key)
            if (table.keys[key].range == range && (!played || (*played)[key])) {
                list += (list.empty() ? "" : " ") + std::to_string(key);
                ++count;
            }
        if (count > 0) std::fprintf(stderr, "%s\n", RangeWarning(list, count, range).c_str());
    }
}

std::string OutsideMtsWarning(const MtsTable &table, int key) {
    const MtsRange range = table.keys[key & 0x7F].range;
    return range == MtsRange::INSIDE ? std::string()
                                     : RangeWarning(std::to_string(key & 0x7F), 1, range);
}

std::string DescribeUnmapped(const MtsTable &table) {
    if (table.unmapped == 0) return std::string();
    return "unmapped keys keep their 12-TET pitch: " +
           KeyList(table, [](const MtsKey &k) { return !k.degree.has_value(); });
}

}  // namespace mthost
