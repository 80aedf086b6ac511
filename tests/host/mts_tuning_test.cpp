// MIDI Tuning Standard frequency data: the semitone at or below and the
// 14-bit fraction rounded to nearest, checked both ways, with its ends.
#include "keys/mts_tuning.h"

#include <gtest/gtest.h>

#include <cmath>

namespace mthost {
namespace {

double Hz(double semitones) { return 440.0 * std::exp2((semitones - 69.0) / 12.0); }

TEST(MtsTuning, FrequencyDataBothWays) {
    const struct {
        double hz;
        MtsFrequency data;
        MtsRange range;
    } cases[] = {
        {440.0, {69, 0, 0}, MtsRange::INSIDE},
        {MTS_LOWEST_HZ, {0, 0, 0}, MtsRange::INSIDE},
        {Hz(60 + 0.5), {60, 0x40, 0}, MtsRange::INSIDE},
        {Hz(60 + 1.0 / 16384), {60, 0, 1}, MtsRange::INSIDE},
        // A fraction that rounds up to 16384 carries into the next semitone.
        {Hz(61 - 0.2 / 16384), {61, 0, 0}, MtsRange::INSIDE},
        {Hz(60 + 16383.4 / 16384), {60, 0x7F, 0x7F}, MtsRange::INSIDE},
        // The top is 7F 7F 7E: 7F 7F 7F would mean "no change".
        {MTS_HIGHEST_HZ, {127, 0x7F, 0x7E}, MtsRange::INSIDE},
        {Hz(127 + 16383.0 / 16384), {127, 0x7F, 0x7E}, MtsRange::ABOVE},
        {20000.0, {127, 0x7F, 0x7E}, MtsRange::ABOVE},
        {INFINITY, {127, 0x7F, 0x7E}, MtsRange::ABOVE},
        {MTS_LOWEST_HZ * 0.999, {0, 0, 0}, MtsRange::BELOW},
        {0.0, {0, 0, 0}, MtsRange::BELOW},
        {-5.0, {0, 0, 0}, MtsRange::BELOW},
        {NAN, {0, 0, 0}, MtsRange::BELOW},
    };
    for (const auto &c : cases) {
        MtsRange range = MtsRange::INSIDE;
        const MtsFrequency data = MtsFrequencyOf(c.hz, &range);
        EXPECT_EQ(data, c.data) << c.hz;
        EXPECT_EQ(range, c.range) << c.hz;
        // Back within half a step (0.0031 cents) wherever MTS reaches.
        if (c.range == MtsRange::INSIDE) {
            EXPECT_NEAR(1200.0 * std::log2(*HzOfMtsFrequency(data) / c.hz), 0.0, 50.0 / 16384)
                << c.hz;
        }
    }
    EXPECT_FALSE(HzOfMtsFrequency(MTS_NO_CHANGE).has_value());
    // Every step decodes and encodes to itself.
    for (int step = 0; step < 128 * 16384 - 1; step += 997) {
        const MtsFrequency data{static_cast<unsigned char>(step >> 14),
                                static_cast<unsigned char>((step >> 7) & 0x7F),
                                static_cast<unsigned char>(step & 0x7F)};
        EXPECT_EQ(MtsFrequencyOf(*HzOfMtsFrequency(data)), data) << step;
    }
}

// A white-key map: unmapped keys keep 12-TET; the bulk dump's checksum and
// the two single-note changes hold every key once.
TEST(MtsTuning, TablesAndMessages) {
    KeyLayout keys;
    keys.map = ParseKbm("7\n0\n127\n60\n69\n440\n7\n0\nx\n1\nx\n2\n3\nx\n", "m.kbm");
    keys.scaleSize = 7;
    Tuning tuning;
    tuning.ratios = {1, 9 / 8., 5 / 4., 4 / 3., 3 / 2., 5 / 3., 15 / 8., 2};
    tuning.hz1o1 = 264.0;
    const MtsTable table = MtsTableForKeys(keys, tuning);
    EXPECT_FALSE(table.keys[61].degree.has_value());
    EXPECT_EQ(table.keys[61].data, (MtsFrequency{61, 0, 0}));
    EXPECT_EQ(table.keys[62].hz, 264.0 * 9 / 8.);
    EXPECT_GT(table.unmapped, 0);

    const MidiMessage dump = MtsBulkDump(table, "N\xE9w");
    ASSERT_EQ(dump.size(), 408u);
    EXPECT_EQ(MidiMessage(dump.begin(), dump.begin() + 10),
              (MidiMessage{0xF0, 0x7E, 0x7F, 0x08, 0x01, 0x00, 'N', '?', 'w', ' '}));
    unsigned char checksum = 0;
    for (size_t i = 1; i < dump.size() - 2; ++i) checksum ^= dump[i];
    EXPECT_EQ(dump[406], checksum & 0x7F);
    EXPECT_EQ(dump[407], 0xF7);

    const std::vector<MidiMessage> changes = MtsSingleNoteChanges(table);
    ASSERT_EQ(changes.size(), 2u);
    for (int m = 0; m < 2; ++m) {
        ASSERT_EQ(changes[m].size(), 7u + 64 * 4 + 1);
        EXPECT_EQ(MidiMessage(changes[m].begin(), changes[m].begin() + 7),
                  (MidiMessage{0xF0, 0x7F, 0x7F, 0x08, 0x02, 0x00, 64}));
        for (int i = 0; i < 64; ++i) EXPECT_EQ(changes[m][7 + 4 * i], 64 * m + i);
    }
}

}  // namespace
}  // namespace mthost
