// Tuning files: what each reader takes and refuses, and round trips through
// the writers over the shipped scales and maps and over generated ones.
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fixture.h"
#include "microtune_files.h"
#include "tuning_files_sample.h"

namespace {

using TuningFilesTest = MicrotuneTest;

struct Scale {
    bool ok = false;
    MicrotuneScaleFile file;
    std::string text, error;
};

Scale ReadScale(const std::string &contents, const char *name) {
    Scale scale;
    std::vector<char> text(MICROTUNE_SCALE_TEXT_SIZE), error(MICROTUNE_MESSAGE_SIZE);
    scale.ok = MicrotuneReadScaleMemory(contents.data(), static_cast<int>(contents.size()), name,
                                        MICROTUNE_FORMAT_BY_NAME, &scale.file, text.data(),
                                        static_cast<int>(text.size()), error.data(),
                                        static_cast<int>(error.size())) == 1;
    scale.text = text.data();
    scale.error = error.data();
    return scale;
}

std::vector<double> Ratios(const std::string &text) {
    std::vector<double> ratios(1023);
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    int count = 0;
    GetScaleFromText(ratios.data(), &count, buffer.data(), 1023);
    ratios.resize(static_cast<size_t>(count));
    return ratios;
}

MicrotuneKeyTable KeyTable(const std::string &text, const MicrotuneKeyboardMap *map,
                           double oneOne = 0.0) {
    const std::vector<double> ratios = Ratios(text);
    MicrotuneKeyTable table;
    char error[MICROTUNE_MESSAGE_SIZE];
    EXPECT_EQ(MicrotuneMakeKeyTable(ratios.data(), static_cast<int>(ratios.size()), map, "k.kbm",
                                    oneOne, &table, error, sizeof error),
              1)
        << error;
    return table;
}

std::string Contents(const std::string &path) {
    std::string contents;
    if (FILE *file = std::fopen(path.c_str(), "rb")) {
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
            contents.append(chunk, n);
        std::fclose(file);
    }
    return contents;
}

template <class Write>
std::string Written(Write write) {
    std::vector<char> out(1 << 18);
    const int length = write(out.data(), static_cast<int>(out.size()));
    EXPECT_GE(length, 0);
    EXPECT_LT(length, static_cast<int>(out.size()));
    return out.data();
}

TEST_F(TuningFilesTest, ReadersGiveTheScaleTextAndWhatTheFileSets) {
    const struct {
        const char *name, *contents, *text;
        double oneOne;  // 0: none
        const char *description;
    } cases[] = {
        // .ascl: Scala with directives in comments, wherever they stand; the
        // reference pitch of degree 2 sets the 1/1; a UTF-8 description.
        {"a.ascl",
         "! a.ascl\n! @ABL NOTE_NAMES \"D\xC3\xA9\" \"R\\\"e\" Mi\nMod\xC3\xA9 \xC3\xA0 trois\n "
         "3\n!"
         "\n 9/8\n 5/4\n 2/1\n! @ABL REFERENCE_PITCH 4 2 330.0\n",
         "9/8 5/4 2/1", 264.0, "Mod\xC3\xA9 \xC3\xA0 trois"},
        {"a.ASCL", "d\n1\n1200.0\n", "1200.0", 0.0, "d"},
        // .tun: key 0 is the 1/1; [Exact Tuning] wins over [Tuning] key by key.
        {"t.tun",
         "; comment\n[Tuning]\nnote 0=0\nnote 1 = 50 ; quarter tone\nnote 2=300\n[Exact "
         "Tuning]\nBaseFreq=8.1757989156437073\nnote 2 = 250.5\n[Editor Specifics]\nx=1\n",
         nullptr, 8.1757989156437073, ""},
        {"t.tun", "[Info]\nName = \"Pelog\"\n[Exact Tuning]\nbasefreq=10\nnote 0=-1200\n", nullptr,
         5.0, "Pelog"},
    };
    for (const auto &c : cases) {
        const Scale scale = ReadScale(c.contents, c.name);
        ASSERT_TRUE(scale.ok) << c.name << ": " << scale.error;
        if (c.text) {
            EXPECT_EQ(scale.text, c.text);
        }
        EXPECT_NEAR(scale.file.one_one_hz, c.oneOne, 1e-9) << c.name;
        EXPECT_STREQ(scale.file.description, c.description);
    }
    const Scale ascl = ReadScale(cases[0].contents, "a.ascl");
    EXPECT_STREQ(ascl.file.note_names, "D\xC3\xA9\nR\"e\nMi\n");
    EXPECT_EQ(ascl.file.reference_octave, 4);
    const Scale tun = ReadScale(cases[2].contents, "t.tun");
    EXPECT_EQ(tun.file.full_keyboard, 1);
    EXPECT_EQ(tun.text.compare(0, 23, "50.0 250.5 300.0 400.0 "), 0) << tun.text;
    EXPECT_NEAR(tun.file.key_hz[69], 440.0, 1e-9);
    // The scale text installs each key at the file's frequency.
    const MicrotuneKeyTable keys = KeyTable(tun.text, nullptr, tun.file.one_one_hz);
    MicrotuneKeyboardMap linear;
    MicrotuneLinearKeyboardMap(0, &linear);
    const MicrotuneKeyTable table = KeyTable(tun.text, &linear, tun.file.one_one_hz);
    for (int k = 0; k < 128; ++k) EXPECT_NEAR(table.keys[k].hz / tun.file.key_hz[k], 1.0, 1e-12);
    EXPECT_EQ(keys.keys[60].degree, 0);
}

TEST_F(TuningFilesTest, MalformedFilesNameTheLine) {
    const struct {
        const char *name, *contents, *error;
    } cases[] = {
        {"a.ascl", "! @ABL REFERENCE_PITCH 4 x 440\nd\n1\n2/1\n",
         "a.ascl:1: REFERENCE_PITCH needs an octave, a scale degree and a frequency in Hz"},
        {"a.ascl", "d\n1\n2/1\n! @ABL REFERENCE_PITCH 4 0 0x1b8\n", "a.ascl:4: REFERENCE_PITCH"},
        {"a.ascl", "d\n1\n2/1\n! @ABL REFERENCE_PITCH 4 1 440\n",
         "a.ascl:4: REFERENCE_PITCH degree 1 is not a degree of the scale (0 to 0)"},
        {"t.tun", "note 0=0\n", "t.tun:1: no [Tuning] or [Exact Tuning] section"},
        {"t.tun", "[Tuning]\nnote 128=0\n", "t.tun:2: 'note 128' is not a key: notes are 0 to 127"},
        {"t.tun", "[Tuning]\nnote 1=abc\n", "t.tun:2: note value 'abc' is not a value in cents"},
        {"t.tun", "[Tuning]\nnote 1=1e9\n", "t.tun:2: note value '1e9'"},
        {"t.tun", "[Tuning]\nnote 1=5\nnote 1=6\n",
         "t.tun:3: note 1 is given twice in this section (line 2)"},
        {"t.tun", "[Exact Tuning]\nbasefreq=-5\n", "t.tun:2: basefreq '-5' is not a positive"},
        {"t.tun", "[Tuning]\nnote 1\n", "t.tun:2: 'note 1' is not a setting (name = value)"},
        {"t.tun", "[Functional Tuning]\nnote 1=\"#>-1 % 100\"\n",
         "t.tun:1: [Functional Tuning] (AnaMark version 2) is not read"},
        {"t.tun", "[Tuning]\n\x01\x02\x03", "t.tun: not a text file"},
    };
    for (const auto &c : cases) {
        const Scale scale = ReadScale(c.contents, c.name);
        EXPECT_FALSE(scale.ok) << c.contents;
        EXPECT_EQ(scale.error.compare(0, std::strlen(c.error), c.error), 0)
            << scale.error << "\n expected: " << c.error;
    }
}

TEST_F(TuningFilesTest, ScaleTextsAreCheckedAsTheParserReadsThem) {
    const struct {
        const char *text, *problem;  // problem null: accepted
    } cases[] = {
        {"9/8 5/4 2/1", nullptr},
        {"h 1/1 3/2 2/1", nullptr},
        {"700 cents 2/1", nullptr},
        {"n(7/12) 2", nullptr},
        // The parser resets on any word from 'h' on and reads no hexadecimal.
        {"9/8 hello 2/1", "word 2, 'hello': not a number"},
        {"0x10", "word 1, '0x10': not a number"},
        {"9/8 inf", "word 2, 'inf': not a number"},
        {"3/0", "word 1, '3/0': division by zero"},
        {"cents 2", "word 1, 'cents': 'cents' must follow a value"},
    };
    for (const auto &c : cases) {
        char problem[MICROTUNE_MESSAGE_SIZE];
        EXPECT_EQ(MicrotuneCheckScaleText(c.text, problem, sizeof problem), c.problem ? 0 : 1)
            << c.text;
        if (c.problem) {
            EXPECT_EQ(std::string(problem).compare(0, std::strlen(c.problem), c.problem), 0)
                << problem;
        }
    }
}

// The shipped scales, each with every shipped map, and generated scales
// and maps: written as .tun and read back, every key within 0.0001 cents of
// the original's; written as .ascl and .scl and read back, the same text.
TEST_F(TuningFilesTest, RoundTripsKeepEveryKeyAndTheScaleText) {
    const std::string folder = MICROTUNE_SCALES "/";
    std::vector<std::string> scales, maps = {""};
    for (const char *name :
         {"19-tet.scl", "31-edo.scl", "bohlen-pierce.scl", "just-major.scl", "just12.scl"})
        scales.push_back(ReadScale(Contents(folder + name), name).text);
    for (const char *name :
         {"19-tet.kbm", "31-edo-meantone.kbm", "a440-middle-c.kbm", "white-keys-7.kbm"})
        maps.push_back(Contents(folder + name));
    std::mt19937 random(31);
    for (int i = 0; i < 20; ++i) {
        std::string text;
        const int steps = 1 + static_cast<int>(random() % 24);
        for (int s = 1; s <= steps; ++s)
            text += (random() % 2 ? std::to_string(1 + random() % 97) + "/" +
                                        std::to_string(1 + random() % 89)
                                  : std::to_string(s * 100 - 50 + random() % 100) + "." +
                                        std::to_string(random() % 1000)) +
                    " ";
        scales.push_back(text + std::to_string(2 + random() % 2) + "/1");
        maps.push_back(
            "5\n" + std::to_string(random() % 20) + "\n" + std::to_string(100 + random() % 28) +
            "\n60\n60\n" + std::to_string(100 + random() % 800) + ".25\n" +
            std::to_string(random() % 3) + "\n0\nx\n" + std::to_string(random() % 40) + "\n3\n");
    }
    int tables = 0;
    for (const std::string &text : scales) {
        for (const std::string &kbm : maps) {
            MicrotuneKeyboardMap map;
            char error[MICROTUNE_MESSAGE_SIZE];
            const MicrotuneKeyboardMap *used = nullptr;
            if (!kbm.empty()) {
                ASSERT_EQ(MicrotuneReadKeyboardMapMemory(kbm.data(), static_cast<int>(kbm.size()),
                                                         "k.kbm", &map, error, sizeof error),
                          1)
                    << error;
                used = &map;
            }
            const std::vector<double> ratios = Ratios(text);
            MicrotuneKeyTable table;
            if (MicrotuneMakeKeyTable(ratios.data(), static_cast<int>(ratios.size()), used, "k",
                                      0.0, &table, error, sizeof error) != 1)
                continue;  // a map the scale cannot carry (octave degree 0, no period)
            ++tables;
            const std::string tun = Written(
                [&](char *out, int size) { return MicrotuneWriteTun(&table, "t", out, size); });
            const Scale back = ReadScale(tun, "t.tun");
            ASSERT_TRUE(back.ok) << back.error;
            for (int k = 0; k < 128; ++k)
                EXPECT_NEAR(1200.0 * std::log2(back.file.key_hz[k] / table.keys[k].hz), 0.0, 1e-4)
                    << text << " key " << k << "\n"
                    << kbm;
        }
        const std::string ascl = Written([&](char *out, int size) {
            return MicrotuneWriteAscl(text.c_str(), "d", 440.0, 4, "", out, size, nullptr, 0);
        });
        const Scale fromAscl = ReadScale(ascl, "s.ascl");
        EXPECT_EQ(fromAscl.text, text) << ascl;
        const std::string scl = Written([&](char *out, int size) {
            return MicrotuneWriteScala(fromAscl.text.c_str(), "d", out, size, nullptr, 0);
        });
        EXPECT_EQ(ReadScale(scl, "s.scl").text, text) << scl;
    }
    EXPECT_GT(tables, 600);
}

// A keyboard of 128 frequencies back to a scale and a map: at its period
// when it has one, else as 127 steps from key 0.
TEST_F(TuningFilesTest, KeyboardsBecomeScalesAtTheirPeriod) {
    double hz[128];
    for (int k = 0; k < 128; ++k) hz[k] = 100.0 * std::exp2((k / 19 + (k % 19) / 19.0) * 1.0);
    char text[MICROTUNE_SCALE_TEXT_SIZE];
    MicrotuneKeyboardMap map;
    EXPECT_EQ(MicrotuneScaleOfKeys(hz, text, sizeof text, &map), 19);
    EXPECT_EQ(std::string(text).substr(0, 10), "63.157895 ");
    EXPECT_EQ(map.middle_key, 60);
    EXPECT_DOUBLE_EQ(map.reference_hz, hz[60]);
    hz[100] *= 1.001;
    EXPECT_EQ(MicrotuneScaleOfKeys(hz, text, sizeof text, &map), 0);
    EXPECT_EQ(map.middle_key, 0);
    const MicrotuneKeyTable table = KeyTable(text, &map);
    for (int k = 0; k < 128; ++k) EXPECT_NEAR(table.keys[k].hz / hz[k], 1.0, 1e-8) << k;
    hz[5] = 0.0;
    EXPECT_EQ(MicrotuneScaleOfKeys(hz, text, sizeof text, &map), -1);
}

// The sample the Windows conformance host reads through the DLL: the same
// scale text and, to the bit, the same key table.
TEST_F(TuningFilesTest, TheSampleReadsAsOnEveryBuild) {
    const Scale scale = ReadScale(TUNING_SAMPLE_SCL, "sample.scl");
    ASSERT_TRUE(scale.ok) << scale.error;
    EXPECT_EQ(scale.text, TUNING_SAMPLE_TEXT);
    MicrotuneKeyboardMap map;
    char error[MICROTUNE_MESSAGE_SIZE];
    ASSERT_EQ(MicrotuneReadKeyboardMapMemory(TUNING_SAMPLE_KBM, sizeof TUNING_SAMPLE_KBM - 1,
                                             "sample.kbm", &map, error, sizeof error),
              1);
    const MicrotuneKeyTable table = KeyTable(scale.text, &map);
    EXPECT_EQ(TuningSampleDigest(&table), TUNING_SAMPLE_DIGEST)
        << std::hex << TuningSampleDigest(&table);
}

}  // namespace
