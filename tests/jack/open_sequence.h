// What opening a MIDI output sends on its 16 channels, as MIDI bytes: the
// 2-semitone bend range, a centring bend and the voice, each to every
// channel but 9.
#ifndef MICROTUNE_TEST_OPEN_SEQUENCE_H
#define MICROTUNE_TEST_OPEN_SEQUENCE_H

#include <vector>

inline std::vector<std::vector<unsigned char>> OpenSequence(unsigned char voice) {
    std::vector<std::vector<unsigned char>> expected;
    for (unsigned char ch = 0; ch < 16; ++ch) {
        if (ch == 9) continue;
        expected.push_back({static_cast<unsigned char>(0xB0 | ch), 101, 0});
        expected.push_back({static_cast<unsigned char>(0xB0 | ch), 100, 0});
        expected.push_back({static_cast<unsigned char>(0xB0 | ch), 6, 2});
        expected.push_back({static_cast<unsigned char>(0xB0 | ch), 38, 0});
    }
    for (unsigned char ch = 0; ch < 16; ++ch)
        if (ch != 9) expected.push_back({static_cast<unsigned char>(0xE0 | ch), 0, 64});
    for (unsigned char ch = 0; ch < 16; ++ch)
        if (ch != 9) expected.push_back({static_cast<unsigned char>(0xC0 | ch), voice});
    return expected;
}

#endif
