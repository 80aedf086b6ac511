// Keyboard maps: the .kbm reader's good and malformed files, and which key
// plays which degree at which 1/1.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "host_error.h"
#include "keys/key_layout.h"

namespace {

using mthost::KeyboardMap;

const std::vector<double> ET12 = {1.0, std::exp2(1.0 / 12.0)};
const std::vector<double> JUST_MAJOR = {1,       9 / 8.0, 5 / 4.0,  4 / 3.0,
                                        3 / 2.0, 5 / 3.0, 15 / 8.0, 2};
// Bohlen-Pierce: 13 steps to a 3/1 period.
const std::vector<double> BOHLEN_PIERCE = {1,         27 / 25.0, 25 / 21.0, 9 / 7.0,   7 / 5.0,
                                           75 / 49.0, 5 / 3.0,   9 / 5.0,   49 / 25.0, 15 / 7.0,
                                           7 / 3.0,   63 / 25.0, 25 / 9.0,  3.0};

// A .kbm file's text: the seven header values, then the pattern.
std::string Kbm(int size, int first, int last, int middle, int reference, const char *hz,
                int octave, const std::vector<std::string> &pattern) {
    std::string text = "! test map\n";
    for (const std::string &value :
         {std::to_string(size), std::to_string(first), std::to_string(last), std::to_string(middle),
          std::to_string(reference), std::string(hz), std::to_string(octave)})
        text += value + "\n";
    for (const std::string &entry : pattern) text += entry + "\n";
    return text;
}

const std::vector<std::string> WHITE_KEYS = {"0", "x", "1", "x", "2", "3",
                                             "x", "4", "x", "5", "x", "6"};

TEST(KeyboardMap, ReadsCommentsRemarksAnyLineEndAndShortPatterns) {
    const std::string file =
        "\xEF\xBB\xBF! white keys\r\n12 keys\r\n! comment between values\r\n 0\r\n127\r"
        "60 middle C\n69\n440.0 Hz\n7\n0\nX\n1\n\n \n";
    const KeyboardMap map = mthost::ParseKbm(file, "k.kbm");
    EXPECT_EQ(map.size, 12);
    EXPECT_EQ(map.firstKey, 0);
    EXPECT_EQ(map.lastKey, 127);
    EXPECT_EQ(map.middleKey, 60);
    EXPECT_EQ(map.referenceKey, 69);
    EXPECT_EQ(map.referenceLine, 7);
    EXPECT_EQ(map.referenceHz, 440.0);
    EXPECT_EQ(map.octaveDegree, 7);
    ASSERT_EQ(map.mapping.size(), 12u);
    EXPECT_EQ(map.mapping[0], 0);
    EXPECT_EQ(map.mapping[1], std::nullopt);
    EXPECT_EQ(map.mapping[2], 1);
    for (size_t j = 3; j < 12; ++j)
        EXPECT_EQ(map.mapping[j], std::nullopt) << "missing entry " << j;
}

TEST(KeyboardMap, MalformedFilesNameTheLine) {
    const struct {
        std::string contents;
        std::string error;
    } cases[] = {
        {"", "k.kbm:1: missing the size of the mapping pattern"},
        {"! only a comment\n", "k.kbm:1: missing the size"},
        {"12\n0\n127\n60\n69\n440\n", "k.kbm:6: missing formal octave degree"},
        {"1025\n", "k.kbm:1: mapping size 1025 is not in 0 to 1024"},
        {"2.5\n", "k.kbm:1: mapping size '2.5' is not a whole number"},
        {"12\n-1\n", "k.kbm:2: first key -1 is not in 0 to 127"},
        {"12\n0\n128\n", "k.kbm:3: last key 128 is not in 0 to 127"},
        {"12\n60\n50\n", "k.kbm:3: last key 50 is below the first key 60"},
        {"12\n0\n127\nC4\n", "k.kbm:4: middle key 'C4' is not a whole number"},
        {"12\n0\n127\n60\n99999999999999999999\n",
         "k.kbm:5: reference key 99999999999999999999 is not in"},
        {Kbm(12, 0, 127, 60, 69, "0", 12, {}),
         "k.kbm:7: reference frequency '0' is not a positive"},
        {Kbm(12, 0, 127, 60, 69, "-440", 12, {}), "k.kbm:7: reference frequency '-440'"},
        {Kbm(12, 0, 127, 60, 69, "inf", 12, {}), "k.kbm:7: reference frequency 'inf'"},
        {Kbm(12, 0, 127, 60, 69, "nan", 12, {}), "k.kbm:7: reference frequency 'nan'"},
        {Kbm(12, 0, 127, 60, 69, "440Hz", 12, {}), "k.kbm:7: reference frequency '440Hz'"},
        // Hexadecimal is not a frequency; ends past what MIDI keys reach are refused.
        {Kbm(12, 0, 127, 60, 69, "0x1b8", 12, {}), "k.kbm:7: reference frequency '0x1b8'"},
        {Kbm(12, 0, 127, 60, 69, "1e-300", 12, {}),
         "k.kbm:7: reference frequency 1e-300 Hz is out of range 8.1758 to 13289.66 Hz"},
        {Kbm(12, 0, 127, 60, 69, "13290", 12, {}), "k.kbm:7: reference frequency 13290 Hz is out"},
        // A blank line among the values would move each later value up one.
        {"12\n0\n\n127\n", "k.kbm:3: blank line before the last key"},
        {Kbm(3, 0, 127, 60, 69, "440", 12, {"0", "", "2"}),
         "k.kbm:10: blank line before mapping entry 1 (an unmapped key is written x)"},
        {Kbm(2, 0, 127, 60, 69, "440", 12, {"0", "y"}), "k.kbm:10: mapping entry 'y' is neither"},
        {Kbm(2, 0, 127, 60, 69, "440", 12, {"0", "1.5"}), "k.kbm:10: mapping entry '1.5' is"},
        {Kbm(2, 0, 127, 60, 69, "440", 12, {"0", "1", "2"}),
         "k.kbm:11: more mapping entries than the size 2 on line 2"},
        {"12\n\x01\n", "k.kbm: not a text file"},
    };
    for (const auto &c : cases) {
        try {
            mthost::ParseKbm(c.contents, "k.kbm");
            ADD_FAILURE() << "accepted: " << c.contents;
        } catch (const mthost::HostError &e) {
            EXPECT_EQ(std::string(e.what()).compare(0, c.error.size(), c.error), 0)
                << e.what() << "\n expected: " << c.error;
        }
    }
}

TEST(KeyboardMap, ScaleSizeIsTheDegreesPerPeriod) {
    EXPECT_EQ(mthost::ScaleSize(ET12), 12);  // the library's default table
    EXPECT_EQ(mthost::ScaleSize({1.0, std::exp2(63.158 / 1200.0)}), 19);
    EXPECT_EQ(mthost::ScaleSize({1.0, std::exp2(700.0 / 1200.0)}), 1);
    EXPECT_EQ(mthost::ScaleSize(JUST_MAJOR), 7);
    EXPECT_EQ(mthost::ScaleSize(BOHLEN_PIERCE), 13);
    EXPECT_EQ(mthost::ScaleSize({2.0}), 0);  // a linear series has no period
    EXPECT_EQ(mthost::ScaleSize({1.0}), 0);
}

TEST(KeyboardMap, KeysPlayDegrees) {
    const KeyboardMap whiteKeys =
        mthost::ParseKbm(Kbm(12, 21, 108, 60, 69, "440", 7, WHITE_KEYS), "w");
    // Two keys per block, moving by the scale's size (octave degree 0) or by 3.
    const KeyboardMap pairs = mthost::ParseKbm(Kbm(2, 0, 127, 60, 60, "440", 0, {"0", "5"}), "p");
    const KeyboardMap pairsBy3 =
        mthost::ParseKbm(Kbm(2, 0, 127, 60, 60, "440", 3, {"0", "5"}), "p");
    const KeyboardMap linear = mthost::ParseKbm(Kbm(0, 10, 100, 64, 64, "440", 0, {}), "l");
    const struct {
        const KeyboardMap *map;
        int scaleSize;
        std::vector<std::pair<int, std::optional<int>>> keys;  // key, degree
    } cases[] = {
        {&whiteKeys,
         7,
         {{60, 0},
          {61, {}},
          {62, 1},
          {64, 2},
          {65, 3},
          {69, 5},
          {71, 6},
          {72, 7},
          {84, 14},
          {59, -1},
          {58, {}},
          {57, -2},
          {48, -7},
          {47, -8},
          {24, -21},
          {21, -23},
          {20, {}},
          {108, 28},
          {109, {}}}},
        {&pairs, 12, {{60, 0}, {61, 5}, {62, 12}, {63, 17}, {59, -7}, {58, -12}, {0, -360}}},
        {&pairsBy3, 12, {{60, 0}, {61, 5}, {62, 3}, {63, 8}, {59, 2}, {58, -3}, {57, -1}}},
        {&linear, 12, {{64, 0}, {10, -54}, {100, 36}, {9, {}}, {101, {}}}},
    };
    for (const auto &c : cases)
        for (const auto &[key, degree] : c.keys)
            EXPECT_EQ(mthost::DegreeForKey(*c.map, key, c.scaleSize), degree)
                << c.map->fileName << " key " << key;

    const KeyboardMap root = mthost::LinearKeyboardMap(57);
    for (int key : {0, 57, 127}) EXPECT_EQ(mthost::DegreeForKey(root, key, 12), key - 57);
    EXPECT_FALSE(root.hasReference);
}

TEST(KeyboardMap, TheReferenceKeySetsTheOneOne) {
    const struct {
        std::string kbm;
        std::vector<double> ratios;
        double oneOne;
    } cases[] = {
        // A4 = 440 Hz with the 1/1 on middle C.
        {Kbm(0, 0, 127, 60, 69, "440", 0, {}), ET12, 261.6255653005986},
        {Kbm(0, 0, 127, 60, 69, "440", 0, {}), JUST_MAJOR, 440 / 2.5},
        // White keys: A is the major scale's degree 5.
        {Kbm(12, 0, 127, 60, 69, "440", 7, WHITE_KEYS), JUST_MAJOR, 264},
        {Kbm(12, 0, 127, 60, 45, "110", 7, WHITE_KEYS), JUST_MAJOR, 264},
        // A 3/1 period: degree 13 is 3/1, degree -14 is 1/3 below the last step.
        {Kbm(0, 0, 127, 60, 73, "600", 0, {}), BOHLEN_PIERCE, 200},
        {Kbm(0, 0, 127, 60, 46, "100", 0, {}), BOHLEN_PIERCE, 100 / (25 / 9.0 / 9.0)},
        {Kbm(13, 0, 127, 60, 74, "300", 0, {"0", "1"}), BOHLEN_PIERCE, 300 / (3 * 27 / 25.0)},
    };
    for (const auto &c : cases) {
        const KeyboardMap map = mthost::ParseKbm(c.kbm, "k.kbm");
        EXPECT_NEAR(mthost::OneOneForMap(map, c.ratios, mthost::ScaleSize(c.ratios)), c.oneOne,
                    1e-9)
            << c.kbm;
    }
}

TEST(KeyboardMap, AReferenceThatCannotSoundIsAnError) {
    const struct {
        std::string kbm;
        std::vector<double> ratios;
        std::string error;
    } cases[] = {
        {Kbm(12, 0, 127, 60, 61, "440", 7, WHITE_KEYS), JUST_MAJOR,
         "k.kbm:6: reference key 61 is unmapped"},
        {Kbm(12, 0, 127, 60, 70, "440", 7, {"0"}), JUST_MAJOR,
         "k.kbm:6: reference key 70 is unmapped"},
        {Kbm(12, 48, 72, 60, 80, "440", 7, WHITE_KEYS), JUST_MAJOR,
         "k.kbm:6: reference key 80 is outside the retuned keys 48 to 72"},
        {Kbm(12, 0, 127, 60, 60, "440", 0, WHITE_KEYS),
         {2.0},
         "k.kbm: the formal octave degree is 0"},
        // Ratios that overflow: at the reference key (once read as "no 1/1
        // given"), and at keys above an ordinary reference.
        {Kbm(1, 0, 127, 60, 61, "440", 1000000, {"0"}),
         {1.0, 3.0},
         "k.kbm:6: reference key 61 plays"},
        {Kbm(1, 0, 127, 60, 60, "440", 1000000, {"0"}),
         {1.0, 3.0},
         "k.kbm: key 0 plays degree -60000000"},
        {Kbm(1, 0, 127, 60, 60, "440", -1000000, {"0"}),
         {1.0, 3.0},
         "k.kbm: key 0 plays degree 60000000"},
    };
    for (const auto &c : cases) {
        mthost::KeyLayout layout;
        layout.map = mthost::ParseKbm(c.kbm, "k.kbm");
        layout.scaleSize = mthost::ScaleSize(c.ratios);
        try {
            layout.hz1o1 = mthost::OneOneForMap(layout.map, c.ratios, layout.scaleSize);
            mthost::CheckKeyFrequencies(layout, c.ratios);
            ADD_FAILURE() << "accepted: " << c.kbm;
        } catch (const mthost::HostError &e) {
            EXPECT_EQ(std::string(e.what()).compare(0, c.error.size(), c.error), 0) << e.what();
        }
    }
}

}  // namespace
