// The microtune command-line host end to end: the binary is run in a
// scratch folder, and its exit status, its output and the WAV files it
// renders are checked. Pitches are measured from the audio with an FFT.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "audio_analysis.h"

namespace {

using audio::Audio;
using audio::Cents;
using audio::Spectrum;

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out, err;
    double seconds = 0.0;
};

std::string ReadFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> Words(const std::string &line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

// The lines of standard error that microtune itself wrote.
std::vector<std::string> ErrorLines(const std::string &err) {
    std::vector<std::string> found;
    for (const std::string &line : Lines(err))
        if (line.rfind("microtune: ", 0) == 0) found.push_back(line);
    return found;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The companion's own settings come from the test, not the caller.
        unsetenv("MICROTUNE_SYNTH_WAV");
        unsetenv("MICROTUNE_SYNTH_CLOCK");
        unsetenv("MICROTUNE_SOUNDFONT");
        unsetenv("MICROTUNE_SYNTH_EFFECTS");
        char pattern[] = "/tmp/microtune_cli_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        // The built-in synthesizer calibrates into a cache of this test's own.
        setenv("XDG_CACHE_HOME", (dir_ / "cache").c_str(), 1);
        unsetenv("MICROTUNE_SYNTH_CALIBRATE");
    }
    void TearDown() override {
        std::error_code ignored;
        if (!std::getenv("MICROTUNE_KEEP_WAV")) fs::remove_all(dir_, ignored);
    }

    fs::path Path(const std::string &name) const { return dir_ / name; }

    void Write(const std::string &name, const std::string &contents) const {
        std::ofstream(Path(name), std::ios::binary) << contents;
    }

    // Runs microtune with the arguments in the scratch folder.
    Result Run(const std::vector<std::string> &args) const {
        return RunProgram(MICROTUNE_BINARY, args);
    }

    Result RunProgram(const char *program, const std::vector<std::string> &args) const {
        Result result;
        const fs::path out = Path(".stdout"), err = Path(".stderr");
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir_.c_str()) != 0) _exit(127);
            const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int in = open("/dev/null", O_RDONLY);
            if (o < 0 || e < 0 || in < 0) _exit(127);
            dup2(in, 0);
            dup2(o, 1);
            dup2(e, 2);
            std::vector<char *> argv;
            argv.push_back(const_cast<char *>(program));
            for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
            argv.push_back(nullptr);
            execv(program, argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        result.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = ReadFile(out);
        result.err = ReadFile(err);
        fs::remove(out);
        fs::remove(err);
        return result;
    }

    fs::path dir_;
};

// The lines a checker script printed, the last of them "ok".
std::vector<std::string> CheckerLines(const Result &r);

// ---------------------------------------------------------------- audio

// ---------------------------------------------------------------- tests

// Every subcommand's help shows its defaults and the exit statuses.
TEST_F(CliTest, EverySubcommandHasHelp) {
    const struct {
        const char *command;
        std::vector<std::string> shown;
    } helps[] = {
        {"devices", {}},
        {"voices", {"0-127"}},
        {"scale", {"(default: 261.626"}},
        {"play",
         {"(default: 0.5)", "(default: 100)", "(default: 0, Acoustic Grand Piano)",
          "(default: 12-TET)", "(default: the built-in software synthesizer)"}},
        {"demo", {"(default: demo.wav)", "(default: 20, Reed Organ)"}},
        {"bend-test", {"(default: live"}},
        {"relay", {"(default: 60)", "(default: 0, Acoustic Grand Piano)"}},
        {"keys", {"(default: 60)", "(default: 12-TET)"}},
        {"retune", {"(default: each input channel's own programs"}},
        {"keys", {"(default: 60)"}},
        {"calibrate", {"--verbose"}},
    };
    for (const auto &help : helps) {
        const Result r = Run({help.command, "--help"});
        EXPECT_EQ(r.status, 0) << help.command;
        EXPECT_NE(r.out.find(std::string("Usage: microtune ") + help.command), std::string::npos)
            << help.command;
        std::vector<std::string> shown = help.shown;
        shown.push_back("Exit status: 0 success, 1 error, 2 usage error");
        for (const std::string &text : shown)
            EXPECT_NE(r.out.find(text), std::string::npos) << help.command << ": " << text;
    }
    const Result version = Run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("microtune ", 0), 0u) << version.out;
}

TEST_F(CliTest, VoicesListsAllAndFindsByName) {
    const Result all = Run({"voices"});
    ASSERT_EQ(all.status, 0);
    const std::vector<std::string> lines = Lines(all.out);
    ASSERT_EQ(lines.size(), 128u);
    EXPECT_EQ(Words(lines[69]),
              (std::vector<std::string>{"69", "Cor", "Anglais", "(English", "Horn)"}));
    const Result violin = Run({"voices", "violin"});
    EXPECT_EQ(violin.status, 0);
    EXPECT_EQ(Words(violin.out), (std::vector<std::string>{"40", "Violin"}));
    // Every voice a name finds, the library's choice first; several words
    // are one query.
    const struct {
        std::vector<std::string> args;
        std::vector<int> numbers;
    } queries[] = {
        {{"voices", "strings"}, {44, 45, 48, 49, 50, 51}},
        {{"voices", "organ "}, {16, 17, 18, 19, 20}},
        {{"voices", "bell"}, {112, 14}},
        {{"voices", "string", "ensemble"}, {48, 49}},
        {{"voices", "44"}, {44}},
    };
    for (const auto &query : queries) {
        const Result r = Run(query.args);
        EXPECT_EQ(r.status, 0) << query.args[1];
        std::vector<int> numbers;
        for (const std::string &line : Lines(r.out)) numbers.push_back(std::atoi(line.c_str()));
        EXPECT_EQ(numbers, query.numbers) << r.out;
    }
}

TEST_F(CliTest, DevicesMarkTheBuiltInSynthesizer) {
    const Result r = Run({"devices"});
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("QuickTime  (built-in software synthesizer)"), std::string::npos) << r.out;
}

// Every bad argument: status 2 for what the command line cannot mean, with
// the usage line, 1 for any other error; one line from microtune on
// standard error, and nothing rendered.
TEST_F(CliTest, BadArgumentsGiveOneLineAndNoSound) {
    Write("empty.scl", "");
    Write("demo.wav", std::string("RIFF\x24\0\0\0WAVEfmt ", 16));
    Write("not-a-font.sf2", "RIFF\x04\0\0\0WAVE");
    struct Case {
        std::vector<std::string> args;
        int status;
        const char *message;
        const char *font = nullptr;  // MICROTUNE_SOUNDFONT, when set
    };
    const Case cases[] = {
        {{"play", "--device", "99", "--wav", "out.wav", "0"}, 1, "device 99 is out of range"},
        {{"play", "--device", "-1", "--wav", "out.wav", "0"}, 2, "-1 is not a device number"},
        {{"play", "--device", "abc", "--wav", "out.wav", "0"}, 2, "no device matches 'abc'"},
        {{"play", "--device", "1.5", "--wav", "out.wav", "0"}, 2, "'1.5' is not a whole number"},
        {{"play", "--voice", "xyz", "--wav", "out.wav", "0"}, 1, "no voice matches 'xyz'"},
        {{"play", "--voice", "200", "--wav", "out.wav", "0"}, 1, "voice 200 is out of range"},
        {{"play", "--velocity", "0", "--wav", "out.wav", "0"}, 2, "0 is out of range 1 to 127"},
        {{"play", "--velocity", "1.5", "--wav", "out.wav", "0"}, 2, "'1.5' is not a whole number"},
        {{"play", "--step", "0", "--wav", "out.wav", "0"}, 2, "0 s is out of range 0.001 to 3600"},
        {{"play", "--step", "abc", "--wav", "out.wav", "0"}, 2, "--step: 'abc' is not a number"},
        {{"play", "--step", "nan", "--wav", "out.wav", "0"}, 2, "'nan' is not a number"},
        {{"play", "--step", "inf", "--wav", "out.wav", "0"}, 2, "'inf' is not a number"},
        {{"play", "--1o1", "-440", "--wav", "out.wav", "0"}, 2, "out of range 20 to 20000 Hz"},
        {{"play", "--1o1", "1e308", "--wav", "out.wav", "0"}, 2, "out of range 20 to 20000 Hz"},
        {{"play", "--1o1", "1e-300", "--wav", "out.wav", "0"}, 2, "out of range 20 to 20000 Hz"},
        {{"play", "--1o1", "nan", "--wav", "out.wav", "0"}, 2, "--1o1: 'nan' is not a number"},
        {{"play", "--wav", "", "0"}, 2, "--wav: empty file name"},
        {{"play", "--wav-format", "pcm8", "--wav", "out.wav", "0"},
         2,
         "'pcm8' is not float, pcm16 or pcm24"},
        {{"play", "--gain", "31", "--wav", "out.wav", "0"},
         2,
         "31 dB is out of range -60 to 30 dB"},
        {{"demo", "--mid", "demo.wav"}, 2, "--wav demo.wav and --mid demo.wav are one file"},
        {{"play", "--wav", "out.wav", "0,x"}, 2, "bad token '0,x'"},
        {{"play", "--wav", "out.wav", "0,"}, 2, "bad token '0,'"},
        {{"play", "--wav", "out.wav", "99999999999"}, 2, "out of range"},
        {{"play", "--wav", "out.wav", "--bogus", "0"}, 2, "unknown option --bogus"},
        {{"play", "--scale", "missing.scl", "--wav", "out.wav", "0"}, 1, "cannot read missing.scl"},
        {{"play", "--scale", "empty.scl", "--wav", "out.wav", "0"}, 1, "empty.scl:1:"},
        {{"play", "--scale", "just", "--wav", "out.wav", "0"}, 1, "word 1, 'just': not a number"},
        {{"play", "--scale", "h 1/2", "--wav", "out.wav", "3"}, 1, "degree 3 has no pitch"},
        {{"play", "--wav", "out.wav"}, 2, "TOKEN is required"},
        {{"play", "--wav", "/nonexistent/dir/out.wav", "0"},
         1,
         "cannot write /nonexistent/dir/out.wav: the folder /nonexistent/dir does not exist"},
        {{"play", "--wav", "out.wav", "0"},
         1,
         "the sound font /nonexistent.sf2 does not exist",
         "/nonexistent.sf2"},
        {{"play", "--wav", "out.wav", "0"},
         1,
         "not-a-font.sf2 is not a SoundFont",
         "not-a-font.sf2"},
        {{"scale"}, 2, "SCALE is required"},
        {{"voices", ""}, 1, "empty voice name"},
        {{"keys", "--kbm", "missing.kbm"}, 1, "cannot read missing.kbm"},
        {{"keys", "--kbm", "empty.scl"}, 1, "empty.scl:1: missing the size"},
        {{"keys", "--kbm", "x.kbm", "--1o1", "440"}, 2, "excludes"},
        {{"keys", "--kbm", "x.kbm", "--root", "60"}, 2, "excludes"},
        {{"keys", "--mts"}, 2, "--mts needs FILE.syx, --device N or both"},
        {{"keys", "--mts-realtime"}, 2, "--mts-realtime requires --mts"},
        {{"keys", "--device", "0"}, 2, "--device requires --mts"},
        {{"keys", "--mts", "out.syx", "--device", "0"}, 1, "the built-in software synthesizer"},
        {{"retune", "in.mid", "--tuning", "cents", "-o", "x.mid"},
         2,
         "'cents' is not bend, mts or mpe"},
        {{"retune", "in.mid", "--tuning", "mts"}, 2, "--tuning mts needs -o OUT.mid"},
        {{"retune", "in.mid", "--mts-lead", "1", "-o", "x.mid"},
         2,
         "--mts-lead goes with --tuning mts"},
        {{"retune", "in.mid", "--tuning", "mts", "--mts-device", "128", "-o", "x.mid"},
         2,
         "--mts-device: 128 is out of range 0 to 127"},
        {{"keys", "--mts-program", "3"}, 2, "--mts-program requires --mts"},
        {{"keys", "--mts", "out.syx", "--mts-form", "bulk", "--mts-realtime"}, 2, "excludes"},
        {{"retune", "in.mid", "--tuning", "mts", "-o", "x.mid", "--wav", "out.wav"},
         2,
         "--wav renders with --tuning bend"},
        {{"frobnicate"}, 2, "unknown subcommand 'frobnicate'"},
        {{"--bogus"}, 2, "unknown option --bogus"},
        {{}, 2, "subcommand is required"},
        // One rule for a scale argument: an existing file is a Scala file,
        // a word that looks like a file name names a missing file, anything
        // else is a scale text whose every word must be a pitch.
        {{"scale", "my_scale.scl.txt"}, 1, "cannot read my_scale.scl.txt: no such file"},
        {{"scale", "foo.bar"}, 1, "cannot read foo.bar: no such file"},
        {{"scale", "demo.wav"}, 1, "demo.wav: not a text file"},
        {{"scale", "."}, 1, "cannot read .: it is a directory"},
        {{"scale", "/dev/zero"}, 1, "/dev/zero: larger than 1024 KiB"},
        {{"scale", "abc"}, 1, "word 1, 'abc': not a number"},
        {{"scale", "0.0"}, 1, "has no pitch besides the 1/1"},
        {{"scale", "9/8 5/4 h"}, 1, "has no pitch besides the 1/1"},
        {{"scale", "5/4 -2"}, 1, "word 2, '-2': a ratio must be above 0"},
        {{"scale", "h -2"}, 1, "word 2, '-2': a ratio must be above 0"},
        {{"scale", "9/8 0 2/1"}, 1, "word 2, '0': a ratio must be above 0"},
        {{"scale", "5/0"}, 1, "word 1, '5/0': division by zero"},
        {{"scale", "n(7/0)"}, 1, "word 1, 'n(7/0)': division by zero"},
        {{"scale", "n(abc)"}, 1, "word 1, 'n(abc)': not a number"},
        {{"scale", "n(0.5) 2"}, 1, "read as cents"},
        {{"scale", "3/2/5"}, 1, "word 1, '3/2/5': not a number"},
        {{"scale", "3", "/", "2"}, 1, "word 2, '/': not a number"},
        {{"scale", "cents 2/1"}, 1, "'cents' must follow a value"},
        {{"scale", "1e400"}, 1, "word 1, '1e400': not a number"},
    };
    for (const Case &c : cases) {
        std::string joined;
        for (const std::string &a : c.args) joined += a + " ";
        if (c.font) setenv("MICROTUNE_SOUNDFONT", c.font, 1);
        const Result r = Run(c.args);
        unsetenv("MICROTUNE_SOUNDFONT");
        EXPECT_EQ(r.status, c.status) << joined;
        const std::vector<std::string> errors = ErrorLines(r.err);
        ASSERT_EQ(errors.size(), 1u) << joined << "\n" << r.err;
        EXPECT_NE(errors[0].find(c.message), std::string::npos) << joined << "\n" << errors[0];
        EXPECT_EQ(r.err.find("Usage: microtune") != std::string::npos, c.status == 2) << joined;
        EXPECT_FALSE(fs::exists(Path("out.wav")) || fs::exists(Path("out.syx"))) << joined;
    }
}

// A malformed .scl file is refused with its name, the line and what is
// wrong, by `scale` and by `play` alike, and nothing is played.
TEST_F(CliTest, MalformedSclFilesAreRefused) {
    struct Case {
        const char *contents;
        const char *message;
    };
    const Case cases[] = {
        {"", "bad.scl:1: the file is empty"},
        {"! comment only\nJust\n", "bad.scl:2: missing note count"},
        {"Just\n!\n", "bad.scl:2: missing note count"},
        {"Just\nseven\n9/8\n", "bad.scl:2: note count 'seven' is not a whole number"},
        {"Just\n -2\n9/8\n", "bad.scl:2: note count '-2' is not a whole number"},
        {"Just\n 0\n", "bad.scl:2: note count is 0"},
        {"Just\n 3\n 9/8\n!\n 5/4\n", "bad.scl:2: note count is 3 but the file has 2 pitch lines"},
        {"Just\n 2\n 9/8\n 5/4\n 2/1\n", "bad.scl:5: more pitch lines than the note count 2"},
        {"Just\n 2\n -3/2\n 2/1\n", "bad.scl:3: ratio -3/2 is not positive"},
        {"Just\n 2\n 0/1\n 2/1\n", "bad.scl:3: ratio 0/1 is not positive"},
        {"Just\n 2\n 9/8\n 0\n", "bad.scl:4: ratio 0 is not positive"},
        {"Just\n 2\n 3/0\n 2/1\n", "bad.scl:3: ratio 3/0 has a zero denominator"},
        {"Just\n 2\n 3 / 0\n 2/1\n", "bad.scl:3: ratio 3/0 has a zero denominator"},
        {"Just\n 1\n 3 /\n", "bad.scl:3: '3/' is not a ratio"},
        {"Just\n 2\n 9/8\n fifth\n", "bad.scl:4: 'fifth' is not a ratio"},
        {"Just\n 2\n x9/8\n 2/1\n", "bad.scl:3: 'x9/8' is not a ratio"},
        {"Just\n 2\n 1.2.!\n 2/1\n", "bad.scl:3: '1.2.' is not a value in cents"},
        {"Just\n 2\n 3/2.5!\n 2/1\n", "bad.scl:3: '3/2.5' is not a value in cents"},
        {"Just\n 2\n 701.9.55\n 2/1\n", "bad.scl:3: '701.9.55' is not a value in cents"},
        {"Just\n 2\n 1.5/1\n 2/1\n", "bad.scl:3: '1.5/1' is not a value in cents"},
        {"\x7f"
         "ELF\x02\x01\x01\n 2\n",
         "bad.scl: not a text file"},
        {"Just\x01\x02\n 1\n 2/1\n", "bad.scl: not a text file"},
    };
    for (const Case &c : cases) {
        Write("bad.scl", c.contents);
        for (const char *command : {"scale", "play"}) {
            const Result r = std::string(command) == "scale"
                                 ? Run({"scale", "bad.scl"})
                                 : Run({"play", "--scale", "bad.scl", "--wav", "out.wav", "0"});
            EXPECT_EQ(r.status, 1) << c.contents;
            EXPECT_EQ(r.out, "") << c.contents;
            const std::vector<std::string> errors = ErrorLines(r.err);
            ASSERT_EQ(errors.size(), 1u) << c.contents << r.err;
            EXPECT_NE(errors[0].find(c.message), std::string::npos) << c.contents << "\n"
                                                                    << errors[0];
            EXPECT_FALSE(fs::exists(Path("out.wav")));
        }
    }
}

// The entries of a .scl file: comments skipped, ratios, cents and whole
// numbers read, remarks after a value ignored, with Unix, DOS or old Mac
// line ends and with or without a byte-order mark.
TEST_F(CliTest, ScaleListsTheEntriesOfASclFile) {
    const std::string scl =
        "! just5.scl\n!\nFive just steps\n 5\n!\n 9 / 8\n 386.3137 major third\n4 /3 fourth\n"
        " 701.955\n 2\n";
    std::string dos, mac;
    for (char ch : scl) {
        dos += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        mac += ch == '\n' ? '\r' : ch;
    }
    struct Row {
        const char *index, *ratio, *cents, *hz;
    };
    const Row expected[] = {
        {"0", "1.000000", "0.000", "440.000"},   {"1", "1.125000", "203.910", "495.000"},
        {"2", "1.250000", "386.314", "550.000"}, {"3", "1.333333", "498.045", "586.667"},
        {"4", "1.500000", "701.955", "660.000"}, {"5", "2.000000", "1200.000", "880.000"},
    };
    // An existing file is read as Scala whatever its name.
    for (const std::string &contents : {scl, dos, mac, "\xEF\xBB\xBF" + dos}) {
        const std::string name = contents == mac ? "just5.txt" : "just5.scl";
        Write(name, contents);
        const Result r = Run({"scale", name, "--1o1", "440"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("Five just steps (" + name + ")"), std::string::npos) << r.out;
        std::vector<std::vector<std::string>> rows;
        for (const std::string &line : Lines(r.out)) {
            const std::vector<std::string> words = Words(line);
            if (words.size() == 4 && std::isdigit(static_cast<unsigned char>(words[0][0])))
                rows.push_back(words);
        }
        ASSERT_EQ(rows.size(), 6u) << r.out;
        for (size_t i = 0; i < 6; ++i)
            EXPECT_EQ(rows[i], (std::vector<std::string>{expected[i].index, expected[i].ratio,
                                                         expected[i].cents, expected[i].hz}));
    }
}

// The scales shipped for the README's example session.
TEST_F(CliTest, ShippedScalesInstall) {
    const struct {
        const char *file;
        const char *period;
        size_t entries;
    } scales[] = {{"just12.scl", "1200.000", 13}, {"bohlen-pierce.scl", "1901.955", 14}};
    for (const auto &scale : scales) {
        const Result r = Run({"scale", std::string(MICROTUNE_SCALES) + "/" + scale.file});
        ASSERT_EQ(r.status, 0) << scale.file << r.err;
        std::vector<std::vector<std::string>> rows;
        for (const std::string &line : Lines(r.out)) {
            const std::vector<std::string> words = Words(line);
            if (words.size() == 4 && std::isdigit(static_cast<unsigned char>(words[0][0])))
                rows.push_back(words);
        }
        ASSERT_EQ(rows.size(), scale.entries) << scale.file;
        EXPECT_EQ(rows.back()[2], scale.period) << scale.file;
    }
}

// The MIDI note and bend a frequency gets on a 2-semitone bend range.
std::pair<int, int> NoteAndBend(double hz) {
    const double p = 69.0 + 12.0 * std::log2(std::max(hz / 440.0, 1e-50));
    const int note = std::clamp(static_cast<int>(std::floor(p + 0.5)), 0, 127);
    return {note, std::clamp(8192 + static_cast<int>(4096.0 * (p - note)), 0, 16383)};
}

// `keys` for the shipped maps: every retuned key has a row, silent keys say
// so, the reference key sounds at its frequency, and each note and bend is
// the one the library's rule gives for the row's frequency.
TEST_F(CliTest, KeysListsWhatEachKeyPlays) {
    const std::string scales = std::string(MICROTUNE_SCALES) + "/";
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> rows;  // key,name,degree,hz,cents,note,bend
        bool blackKeysSilent;
    } cases[] = {
        {{"--kbm", scales + "a440-middle-c.kbm"},
         {"0,C-1,-60,8.175798916,-6000,0,8192", "60,C4,0,261.6255653,0,60,8192",
          "69,A4,9,440,900,69,8192", "127,G9,67,12543.85395,6700,127,8192"},
         false},
        {{"--scale", scales + "just12.scl", "--kbm", scales + "a440-middle-c.kbm"},
         {"60,C4,0,264,0,60,8832", "69,A4,9,440,884.358713,69,8192"},
         false},
        {{"--scale", scales + "just-major.scl", "--kbm", scales + "white-keys-7.kbm"},
         {"59,B3,-1,247.5,-111.7312853,59,8352", "60,C4,0,264,0,60,8832",
          "62,D4,1,297,203.9100017,62,8992", "69,A4,5,440,884.358713,69,8192",
          "126,F#9,unmapped,,,,", "127,G9,39,12672,6701.955001,127,8912"},
         true},
        {{"--scale", scales + "19-tet.scl", "--kbm", scales + "19-tet.kbm"},
         {"74,D5,14,440,884.21053,69,8192", "79,G5,19,528.0451955,1200,72,8838"},
         false},
        // Without a map: key k plays k - root from the default 1/1.
        {{"--scale", scales + "just12.scl"},
         {"60,C4,0,261.6255653,0,60,8192", "64,E4,4,327.0319566,386.3137139,64,7632",
          "67,G4,7,392.438348,701.9550009,67,8272"},
         false},
    };
    // The same table as MIDI Tuning Standard data, in each form (by either
    // spelling), to a device ID and tuning program, read back byte for byte
    // by mido against the listing; into standard output, the data alone.
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> check;
    } forms[] = {
        {{"--mts", "keys.syx"}, {"bulk", "name=twelve-tone equal temperament"}},
        {{"--mts", "keys.syx", "--mts-realtime"}, {"realtime"}},
        {{"--mts", "keys.syx", "--mts-form", "REALTIME", "--mts-device", "16", "--mts-program",
          "5"},
         {"realtime", "device=16", "program=5"}},
        {{"--mts", "-", "--mts-program", "127", "--mts-device", "0"},
         {"bulk", "device=0", "program=127"}},
        {{"--mts", "keys.syx", "--mts-form", "bulk"}, {"bulk"}},
    };
    for (const auto &c : cases) {
        const auto &form = forms[&c - cases];
        std::vector<std::string> args = {"keys", "--csv"};
        args.insert(args.end(), form.args.begin(), form.args.end());
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Result r = Run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        std::string listing = r.out;
        if (form.args[1] == "-") {
            ASSERT_EQ(r.out.size(), 408u);
            EXPECT_EQ(r.out.front(), '\xF0');
            EXPECT_EQ(r.out.back(), '\xF7');
            Write("keys.syx", r.out);
            // The listing and the report on standard error.
            listing.clear();
            for (const std::string &line : Lines(r.err))
                if (line != "Wrote -: MTS bulk tuning dump, tuning program 127, device ID 0")
                    listing += line + "\n";
            EXPECT_EQ(Lines(listing).size() + 1, Lines(r.err).size()) << r.err;
        }
        Write("keys.csv", listing);
        std::vector<std::string> check = {MICROTUNE_MTS_CHECKER, form.check[0], Path("keys.syx"),
                                          Path("keys.csv")};
        check.insert(check.end(), form.check.begin() + 1, form.check.end());
        CheckerLines(RunProgram("/usr/bin/python3", check));
        EXPECT_EQ(r.err.find("unmapped keys keep their 12-TET pitch: 1 3 6 ") != std::string::npos,
                  c.blackKeysSilent)
            << r.err;
        const std::vector<std::string> lines = Lines(listing);
        ASSERT_EQ(lines.size(), 129u) << r.out;
        EXPECT_EQ(lines[0], "key,name,degree,hz,cents,note,bend");
        for (const std::string &row : c.rows)
            EXPECT_NE(listing.find("\n" + row), std::string::npos) << row << " in " << c.args[1];
        for (size_t i = 1; i < lines.size(); ++i) {
            std::vector<std::string> fields;
            std::stringstream in(lines[i]);
            for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
            const int key = std::stoi(fields[0]);
            const bool black = (0x54A >> (key % 12)) & 1;  // C# D# F# G# A#
            const bool silent = c.blackKeysSilent && black;
            EXPECT_EQ(fields[2] == "unmapped", silent) << lines[i];
            if (fields[2] == "unmapped") continue;
            ASSERT_EQ(fields.size(), 7u) << lines[i];
            const auto expected = NoteAndBend(std::stod(fields[3]));
            EXPECT_EQ(std::stoi(fields[5]), expected.first) << lines[i];
            EXPECT_EQ(std::stoi(fields[6]), expected.second) << lines[i];
        }
    }
}

// `convert` writes each format by its extension: a .tun that an independent
// reader finds at the listed frequencies, and that `keys` then lists as they
// are; a .tun back to a .scl and a .kbm at its period; standard output with
// --format; several scales into a folder; a .tun's keys cannot be moved.
TEST_F(CliTest, ConvertWritesEveryFormat) {
    const std::string scales = std::string(MICROTUNE_SCALES) + "/";
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"--scale", scales + "just-major.scl", "--kbm",
                                   scales + "white-keys-7.kbm"},
          {"--scale", scales + "bohlen-pierce.scl", "--root", "50", "--1o1", "100"},
          {"--scale", scales + "19-tet.scl", "--kbm", scales + "19-tet.kbm"}}) {
        std::vector<std::string> convert = {"convert", "-o", "t.tun"}, keys = {"keys", "--csv"};
        convert.insert(convert.end(), args.begin(), args.end());
        keys.insert(keys.end(), args.begin(), args.end());
        ASSERT_EQ(Run(convert).status, 0) << args[1];
        const Result listed = Run(keys);
        Write("keys.csv", listed.out);
        CheckerLines(RunProgram("/usr/bin/python3",
                                {MICROTUNE_TUN_CHECKER, Path("t.tun"), Path("keys.csv")}));
        // The .tun as a scale: key k plays the file's frequency.
        const Result tun = Run({"keys", "--csv", "--scale", "t.tun"});
        ASSERT_EQ(tun.status, 0) << tun.err;
        Write("keys.csv", tun.out);
        CheckerLines(RunProgram("/usr/bin/python3",
                                {MICROTUNE_TUN_CHECKER, Path("t.tun"), Path("keys.csv")}));
        EXPECT_EQ(Run({"keys", "--scale", "t.tun", "--kbm", scales + "19-tet.kbm"}).status, 2);
    }
    const Result back = Run({"convert", "t.tun", "-o", "back.scl"});
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_NE(back.out.find("t.tun repeats every 19 keys"), std::string::npos) << back.out;
    Write("keys.csv", Run({"keys", "--csv", "--scale", "back.scl", "--kbm", "back.kbm"}).out);
    CheckerLines(
        RunProgram("/usr/bin/python3", {MICROTUNE_TUN_CHECKER, Path("t.tun"), Path("keys.csv")}));
    const Result piped = Run({"convert", "--scale", "9/8 5/4 2/1", "-o", "-", "--format", "ascl"});
    EXPECT_EQ(piped.status, 0);
    EXPECT_NE(piped.out.find("! @ABL REFERENCE_PITCH 4 0 261.625565301\n"), std::string::npos);
    EXPECT_NE(piped.err.find("Wrote -: Ableton scale"), std::string::npos) << piped.err;
    const Result many = Run({"convert", scales + "just12.scl", scales + "31-edo.scl", "missing.scl",
                             "-o", "out/", "--format", "syx"});
    EXPECT_EQ(many.status, 1);
    EXPECT_EQ(ReadFile(Path("out/31-edo.syx")).size(), 408u);
    EXPECT_TRUE(fs::exists(Path("out/just12.syx")));
    EXPECT_NE(many.out.find("3 scales, 2 converted, 1 refused"), std::string::npos) << many.out;
    EXPECT_EQ(Run({"convert", "--scale", "5/4 2", "-o", "x.txt"}).status, 2);
}

// The rows of a scale table: degree, ratio, cents, Hz.
std::vector<std::vector<std::string>> TableRows(const std::string &out) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string &line : Lines(out)) {
        const std::vector<std::string> words = Words(line);
        if (words.size() == 4 && std::isdigit(static_cast<unsigned char>(words[0][0])))
            rows.push_back(words);
    }
    return rows;
}

// Scale texts quoted or typed as several words; the table shows what each
// degree plays, a series (h) included.
TEST_F(CliTest, ScaleReadsScaleTextToo) {
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> hz;
    } cases[] = {
        {{"scale", "700 cents 2/1"}, {"261.626", "391.995", "523.251"}},
        {{"scale", "700", "cents", "2/1"}, {"261.626", "391.995", "523.251"}},
        {{"scale", "9/8", "5/4", "2/1", "--1o1", "400"},
         {"400.000", "450.000", "500.000", "800.000"}},
        {{"scale", "h 2", "--1o1", "100"},
         {"100.000", "200.000", "300.000", "400.000", "500.000", "600.000", "700.000", "800.000",
          "900.000", "1000.000", "1100.000", "1200.000", "1300.000"}},
    };
    for (const auto &c : cases) {
        const Result r = Run(c.args);
        ASSERT_EQ(r.status, 0) << c.args[1] << r.err;
        std::vector<std::string> hz;
        for (const std::vector<std::string> &row : TableRows(r.out)) hz.push_back(row[3]);
        EXPECT_EQ(hz, c.hz) << r.out;
    }
    const Result verbose = Run({"scale", "-v", "5/4 2"});
    EXPECT_NE(verbose.out.find("Scale: no file named '5/4 2': read it as a scale text"),
              std::string::npos)
        << verbose.out;
}

// Degrees that only the library's clamping can play are played with a
// warning that names the degree and its frequency; -v says how the scale
// was read and gives a line per step; --listing keeps the library's own.
TEST_F(CliTest, PlayWarnsOfClampedDegreesAndDescribesSteps) {
    Write("fifths.txt", "Fifths\n 2\n 3 / 2\n 2\n");
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> out;
        const char *warning;
    } cases[] = {
        {{"play", "--wav", "out.wav", "--step", "0.01", "100"},
         {},
         "warning: degree 100 is 84.38 kHz, above what MIDI notes reach"},
        {{"play", "--wav", "out.wav", "--step", "0.01", "--1o1", "20", "-70"},
         {},
         "warning: degree -70 is 0.3508 Hz, below what MIDI notes reach"},
        {{"play", "-v", "--scale", "fifths.txt", "--wav", "out.wav", "--step", "0.01", "0,1", "."},
         {"Scale: read fifths.txt as a Scala file",
          "0,1        degree 0 261.626 Hz note 60 channel 0 bend +0.00 cents; degree 1 392.438 Hz "
          "note 67 channel 1 bend +1.95 cents",
          ".          rest"},
         nullptr},
        {{"play", "--listing", "--wav", "out.wav", "--step", "0.01", "0,4"},
         {"Chann:, 0: pitch bend 0 cents, playing: 0 (0) [60], 400 (4) [64]"},
         nullptr},
    };
    for (const auto &c : cases) {
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, 0) << c.args.back() << r.err;
        for (const std::string &line : c.out)
            EXPECT_NE(r.out.find(line + "\n"), std::string::npos) << line << "\n" << r.out;
        const std::vector<std::string> errors = ErrorLines(r.err);
        if (c.warning) {
            ASSERT_EQ(errors.size(), 1u) << r.err;
            EXPECT_NE(errors[0].find(c.warning), std::string::npos) << errors[0];
        } else {
            EXPECT_TRUE(errors.empty()) << r.err;
        }
        EXPECT_TRUE(fs::exists(Path("out.wav")));
    }
}

// The main job: the four tunings and two instruments at once rendered into
// demo.wav offline, quickly, with a table of the notes that sound in each chord.
TEST_F(CliTest, DemoRendersANonSilentWav) {
    const Result r = Run({"demo", "--mid", "demo.mid"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Bohlen-Pierce and the parts reach the upper 16 channels, which fold onto port 0.
    EXPECT_NE(r.out.find("Wrote demo.mid: channels 0 "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" of one port"), std::string::npos) << r.out;
    EXPECT_EQ(ReadFile(Path("demo.mid")).compare(0, 4, "MThd"), 0);
    std::printf("microtune demo took %.2f s\n", r.seconds);
    EXPECT_LT(r.seconds, 30.0);
    // A table of what sounds per chord, not the library's raw listing.
    size_t tables = 0;
    for (size_t at = 0; (at = r.out.find("degree      ratio", at)) != std::string::npos; ++at)
        ++tables;
    EXPECT_EQ(tables, 5u);
    EXPECT_EQ(r.out.find("These are the notes in play"), std::string::npos);
    // The just triad's third: 5/4, note 64 bent 13.69 cents down on a channel of its own.
    EXPECT_NE(r.out.find("   0      2   1.250000   386.314    327.032    64"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("part 1: 48 String Ensemble 1, panned left; part 2: 73 Flute"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Bohlen-Pierce"), std::string::npos);

    // "Wrote demo.wav: S s and the release."
    const size_t at = r.out.find("Wrote demo.wav: ");
    ASSERT_NE(at, std::string::npos) << r.out;
    const double music = std::atof(r.out.c_str() + at + 16);
    EXPECT_GT(music, 10.0);

    const Audio audio = audio::ReadWav(Path("demo.wav"));
    ASSERT_EQ(audio.rate, 44100);
    EXPECT_GE(audio.Seconds(), music);
    EXPECT_LE(audio.Seconds(), music + 5.0);
    double peak = 0.0, energy = 0.0;
    for (double x : audio.mono) {
        peak = std::max(peak, std::fabs(x));
        energy += x * x;
    }
    EXPECT_GT(peak, 0.05);
    EXPECT_GT(std::sqrt(energy / audio.mono.size()), 0.005);
    EXPECT_LE(peak, 2.0);  // two full-scale channels summed

    // The just triad sounds in tune on the calibrated synthesizer: its C and
    // E a pure 5/4 apart, measured while the chord sounds. It starts after
    // the 12-TET section (3 notes of 0.35 s, the chord's 2 s, a 0.6 s gap)
    // and its own 3 notes.
    const double chordAt = 3 * 0.35 + 2.0 + 0.6 + 3 * 0.35;
    const Spectrum triad(audio, chordAt + 0.3, chordAt + 1.3, audio::Window::Tukey);
    const double c = triad.Centroid(261.6255653005986, 100.0);
    const double e = triad.Centroid(261.6255653005986 * 5.0 / 4.0, 100.0);
    std::printf("demo: just C-E %.3f cents (5/4 is %.3f)\n", Cents(e / c), Cents(1.25));
    EXPECT_NEAR(Cents(e / c), Cents(1.25), 1.0);
}

// calibrate fills the cache that the built-in synthesizer reads; a font
// that cannot be used is one line and status 1; --voice with --all is a
// usage error.
TEST_F(CliTest, CalibrateFillsTheCache) {
    const Result r = Run({"calibrate", "--voice", "reed organ", "--verbose"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_NE(lines[1].find(" 20 Reed Organ"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("keys measured"), std::string::npos) << lines[1];
    // Key 60 of Debian's default font: 5.0 cents flat.
    EXPECT_NE(r.out.find("key  60 C 4   sounds   -5.0"), std::string::npos) << r.out;
    size_t files = 0;
    for (const auto &entry : fs::directory_iterator(Path("cache") / "microtune")) {
        EXPECT_NE(entry.path().filename().string().find("-0-20.cal"), std::string::npos);
        ++files;
    }
    EXPECT_EQ(files, 1u);

    const Result missing = Run({"calibrate", "--font", "nowhere.sf2", "--voice", "0"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(ErrorLines(missing.err),
              std::vector<std::string>{"microtune: nowhere.sf2: cannot read the sound font"});
    EXPECT_EQ(Run({"calibrate", "--voice", "0", "--all"}).status, 2);
}

// A just triad from a .scl file against the same triad in 12-TET: every
// note is measured, and the difference between the two renderings (which
// share their keys, so the sound font's own tuning cancels) is the
// difference between the tunings.
TEST_F(CliTest, PlayedChordsHaveTheScalesPitches) {
    Write("just.scl", "! just.scl\nJust major\n 7\n 9/8\n 5/4\n 4/3\n 3/2\n 5/3\n 15/8\n 2/1\n");
    const std::vector<std::string> common = {"--1o1",    "220",    "--voice",
                                             "recorder", "--step", "2.5"};
    std::vector<std::string> et = {"play", "--wav", "et.wav"};
    et.insert(et.end(), common.begin(), common.end());
    et.push_back("0,4,7");
    std::vector<std::string> just = {"play", "--scale", "just.scl", "--wav", "just.wav"};
    just.insert(just.end(), common.begin(), common.end());
    just.push_back("0,2,4");
    const Result etRun = Run(et), justRun = Run(just);
    ASSERT_EQ(etRun.status, 0) << etRun.err;
    ASSERT_EQ(justRun.status, 0) << justRun.err;

    const Audio etAudio = audio::ReadWav(Path("et.wav")),
                justAudio = audio::ReadWav(Path("just.wav"));
    ASSERT_GT(etAudio.Seconds(), 2.5);
    ASSERT_GT(justAudio.Seconds(), 2.5);
    const Spectrum etSpectrum(etAudio, 0.5, 2.4), justSpectrum(justAudio, 0.5, 2.4);

    const double just5[] = {1.0, 5.0 / 4.0, 3.0 / 2.0};
    for (int i = 0; i < 3; ++i) {
        const double etNominal = 220.0 * std::exp2((i == 0 ? 0 : i == 1 ? 4 : 7) / 12.0);
        const double justNominal = 220.0 * just5[i];
        const double etHz = etSpectrum.Peak(etNominal, 40.0);
        const double justHz = justSpectrum.Peak(justNominal, 40.0);
        std::printf("note %d: 12-TET %.3f Hz, just %.3f Hz, apart %.3f cents (expected %.3f)\n", i,
                    etHz, justHz, Cents(justHz / etHz), Cents(justNominal / etNominal));
        // Within the sound font's own tuning of its samples.
        EXPECT_NEAR(Cents(etHz / etNominal), 0.0, 15.0) << "12-TET note " << i;
        EXPECT_NEAR(Cents(justHz / justNominal), 0.0, 15.0) << "just note " << i;
        EXPECT_NEAR(Cents(justHz / etHz), Cents(justNominal / etNominal), 1.5) << "note " << i;
    }
}

// The library's bend-range test, rendered on the real-time clock: note 62
// bent down and note 58 bent up both sound as middle C on the built-in
// synthesizer, which bends by 2 semitones.
TEST_F(CliTest, BendTestTonesMeetOnTheBuiltInSynthesizer) {
    const Result r = Run({"bend-test", "--wav", "bend.wav"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Audio audio = audio::ReadWav(Path("bend.wav"));
    ASSERT_GT(audio.Seconds(), 3.0);
    const double middleC = 261.6255653005986;
    // Tones at 0.5..1.5 s and 2.0..3.0 s; the middles are safe from jitter.
    const double first = Spectrum(audio, 0.7, 1.35).Peak(middleC, 60.0);
    const double second = Spectrum(audio, 2.2, 2.85).Peak(middleC, 60.0);
    std::printf("bend test: %.3f Hz and %.3f Hz\n", first, second);
    EXPECT_NEAR(Cents(first / middleC), 0.0, 15.0);
    // Different keys may play different samples, each tuned a little apart;
    // a wrong range would put the tones a semitone or more apart.
    EXPECT_NEAR(Cents(second / first), 0.0, 10.0);
}

// ---------------------------------------------------------------- MIDI files

// Standard MIDI File bytes, built here so that the input is exactly known.
std::string Number(uint32_t v) {
    std::string out(1, static_cast<char>(v & 0x7F));
    while (v >>= 7) out.insert(out.begin(), static_cast<char>(0x80 | (v & 0x7F)));
    return out;
}
std::string Big(uint32_t v, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}
struct TrackEvent {
    uint32_t tick;
    std::string bytes;
};
std::string Bytes(std::initializer_list<int> list) {
    std::string out;
    for (int b : list) out += static_cast<char>(b);
    return out;
}
std::string Track(const std::vector<TrackEvent> &events) {
    std::string body;
    uint32_t last = 0;
    for (const TrackEvent &e : events) {
        body += Number(e.tick - last) + e.bytes;
        last = e.tick;
    }
    body += Number(0) + Bytes({0xFF, 0x2F, 0});
    return "MTrk" + Big(static_cast<uint32_t>(body.size()), 4) + body;
}
std::string SmfFile(int format, int division, const std::vector<std::string> &tracks) {
    std::string file =
        "MThd" + Big(6, 4) + Big(format, 2) + Big(tracks.size(), 2) + Big(division, 2);
    for (const std::string &t : tracks) file += t;
    return file;
}
std::string Meta(int type, const std::string &data) {
    return Bytes({0xFF, type}) + Number(static_cast<uint32_t>(data.size())) + data;
}

constexpr int DIVISION = 96;
constexpr double JUST_THIRD = 5.0 / 4.0, JUST_FIFTH = 3.0 / 2.0;
const char *const JUST_SCALE = "16/15 9/8 6/5 5/4 4/3 45/32 3/2 8/5 5/3 9/5 15/8 2/1";

// Two tempos, a sustain pedal, drums, overlapping repeats of one key (the
// second note-on before the first note-off), a pitch wheel to drop, and
// markers, lyrics and signatures to keep.
std::string RoundTripInput() {
    const std::string conductor = Track({
        {0, Meta(0x51, Big(500000, 3))},
        {0, Meta(0x58, Bytes({3, 2, 24, 8}))},
        {0, Meta(0x59, Bytes({0, 0}))},
        {192, Meta(0x06, "B")},
        {192, Meta(0x51, Big(750000, 3))},
        {200, Meta(0x05, "la")},
    });
    // Running status after the first note-on.
    const std::string melody = Track({
        {0, Bytes({0xC0, 19})},
        {0, Bytes({0x90, 60, 90})},
        {0, Bytes({64, 90})},
        {10, Bytes({0xE0, 0, 80})},
        {24, Bytes({0xB0, 64, 127})},
        {48, Bytes({0x80, 60, 40})},   // held by the pedal
        {96, Bytes({0x90, 64, 80})},   // overlapping repeat
        {108, Bytes({0xB0, 64, 0})},   // releases 60
        {120, Bytes({0x80, 64, 40})},  // stops the older 64
        {240, Bytes({0x90, 64, 0})},   // stops the newer 64
        {240, Bytes({0x90, 67, 70})},
        {300, Bytes({0x80, 67, 0})},
    });
    const std::string drums = Track({{0, Bytes({0x99, 36, 100})},
                                     {48, Bytes({0x89, 36, 0})},
                                     {192, Bytes({0x99, 38, 100})},
                                     {240, Bytes({0x89, 38, 0})}});
    return SmfFile(1, DIVISION, {conductor, melody, drums});
}

std::vector<std::string> CheckerLines(const Result &r) {
    std::vector<std::string> lines = Lines(r.out);
    EXPECT_FALSE(lines.empty());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    if (!lines.empty()) {
        EXPECT_EQ(lines.back(), "ok") << r.out;
    }
    return lines;
}

// Read back by an independent reader (mido): pitches within 0.025 cents at
// their input ticks, the ticks of the pedal release and of the overlapping
// repeats, drums and meta events in place.
TEST_F(CliTest, RetunedMidiFileReadsBackExactly) {
    Write("in.mid", RoundTripInput());
    const Result r = Run({"retune", "in.mid", "--scale", JUST_SCALE, "-o", "out.mid"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("1 pitch-wheel messages dropped"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("each input channel a part with its own programs (19 Church Organ)"),
              std::string::npos)
        << r.out;
    const double c = 261.6255653005986;
    char keys[3][32];
    std::snprintf(keys[0], sizeof keys[0], "60=%.10f", c);
    std::snprintf(keys[1], sizeof keys[1], "64=%.10f", c * JUST_THIRD);
    std::snprintf(keys[2], sizeof keys[2], "67=%.10f", c * JUST_FIFTH);
    const Result check = RunProgram(
        "/usr/bin/python3",
        {MICROTUNE_MIDI_CHECKER, Path("in.mid"), Path("out.mid"), keys[0], keys[1], keys[2]});
    const std::vector<std::string> lines = CheckerLines(check);
    auto has = [&lines](const std::string &line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_FALSE(has("48 off 60")) << check.out;
    EXPECT_TRUE(has("108 off 60")) << check.out;  // held until the pedal lifts
    EXPECT_TRUE(has("96 on 64")) << check.out;
    EXPECT_TRUE(has("120 off 64")) << check.out;
    EXPECT_TRUE(has("240 off 64")) << check.out;
    EXPECT_TRUE(has("300 off 67")) << check.out;

    // Twenty keys at once in 31-EDO: twenty bends, more than one port's
    // channels, so file channels 16-31 go to a second track on port 1.
    std::vector<TrackEvent> cluster;
    std::vector<std::string> args = {MICROTUNE_MIDI_CHECKER, Path("cluster.mid"),
                                     Path("cluster-31.mid")};
    for (int key = 60; key < 80; ++key) {
        cluster.push_back({0, Bytes({0x90, key, 80})});
        cluster.push_back({192, Bytes({0x80, key, 0})});
        char due[32];
        std::snprintf(due, sizeof due, "%d=%.10f", key, c * std::exp2((key - 60) / 31.0));
        args.push_back(due);
    }
    std::stable_sort(cluster.begin(), cluster.end(),
                     [](const TrackEvent &a, const TrackEvent &b) { return a.tick < b.tick; });
    Write("cluster.mid", SmfFile(0, DIVISION, {Track(cluster)}));
    const Result wide =
        Run({"retune", "cluster.mid", "--scale", std::string(MICROTUNE_SCALES) + "/31-edo.scl",
             "-o", "cluster-31.mid"});
    ASSERT_EQ(wide.status, 0) << wide.err;
    EXPECT_NE(wide.out.find("in a second track on MIDI port 1"), std::string::npos) << wide.out;
    CheckerLines(RunProgram("/usr/bin/python3", args));

    // With MTS every input message stays as it was, pitch wheel included,
    // after the tuning and its selection on the melodic channels at tick 0,
    // the music later by the lead; in each form, to a device ID and tuning
    // program, restated after program changes (at tick 0 and later, in a
    // format 0 file at another tempo). Range warnings name only the keys
    // played, not the drums'.
    Write("change.mid", SmfFile(0, DIVISION,
                                {Track({{0, Meta(0x51, Big(750000, 3))},
                                        {0, Bytes({0xC1, 19})},
                                        {0, Bytes({0x91, 60, 90})},
                                        {96, Bytes({0x81, 60, 0})},
                                        {96, Bytes({0xC1, 20})},
                                        {96, Bytes({0xC9, 1})},
                                        {96, Bytes({0x91, 62, 90})},
                                        {192, Bytes({0x81, 62, 0})}})}));
    const struct {
        const char *input;
        std::vector<std::string> scale, args, check, reports;
        const char *warning;
    } runs[] = {
        {"in.mid",
         {"--scale", JUST_SCALE},
         {},
         {},
         {"MTS real-time single-note tuning change at tick 0, tuning program 0 on channels 0; "
          "the music 34 ticks later (0.177 s, what 552 bytes of tuning take at 31,250 baud)",
          "1 pitch-wheel message kept"},
         nullptr},
        {"in.mid",
         {"--scale", "200.", "--root", "100"},
         {"--mts-form", "bulk", "--mts-device", "16", "--mts-program", "5", "--mts-lead", "0.5",
          "--mts-restate"},
         {"bulk", "device=16", "program=5", "lead=48", "restate"},
         {"MTS bulk tuning dump at tick 0, device ID 16, tuning program 5 on channels 0; the "
          "music 48 ticks later (0.5 beats); restated after 1 program change"},
         "microtune: warning: keys 60 64 67 are below what MTS reaches (8.176 Hz): sent as 8.176 "
         "Hz"},
        {"change.mid",
         {"--scale", JUST_SCALE},
         {"--mts-restate"},
         {"restate"},
         {"on channels 1; the music 46 ticks later (0.353 s, what 1104 bytes of tuning take at "
          "31,250 baud); restated after 2 program changes"},
         nullptr},
    };
    for (const auto &run : runs) {
        std::vector<std::string> args = {"retune", run.input, "--tuning", "mts", "-o", "mts.mid"};
        args.insert(args.end(), run.scale.begin(), run.scale.end());
        args.insert(args.end(), run.args.begin(), run.args.end());
        const Result mts = Run(args);
        ASSERT_EQ(mts.status, 0) << mts.err;
        for (const std::string &report : run.reports)
            EXPECT_NE(mts.out.find(report), std::string::npos) << report << "\n" << mts.out;
        const std::vector<std::string> warnings = ErrorLines(mts.err);
        EXPECT_EQ(warnings,
                  run.warning ? std::vector<std::string>{run.warning} : std::vector<std::string>{});
        std::vector<std::string> keys = {"keys", "--csv"};
        keys.insert(keys.end(), run.scale.begin(), run.scale.end());
        Write("keys.csv", Run(keys).out);
        std::vector<std::string> check = {MICROTUNE_MTS_CHECKER, "mid", Path(run.input),
                                          Path("mts.mid"), Path("keys.csv")};
        check.insert(check.end(), run.check.begin(), run.check.end());
        CheckerLines(RunProgram("/usr/bin/python3", check));
    }
}

// Five instruments in 31-EDO, each input channel with its program, volume,
// pan and expression (changed midway on some), often on the same keys at
// once: every note sounds on its own instrument, in tune, on one port.
TEST_F(CliTest, RetunedPartsKeepTheirInstrumentsOnOnePort) {
    const double middleC = 261.6255653005986;
    std::vector<std::string> args = {MICROTUNE_MIDI_CHECKER, "--parts", Path("parts.mid"),
                                     Path("parts-31.mid")};
    for (int key = 60; key < 72; ++key) {
        char due[32];
        std::snprintf(due, sizeof due, "%d=%.10f", key, middleC * std::exp2((key - 60) / 31.0));
        args.push_back(due);
    }
    std::vector<std::string> tracks;
    const int programs[] = {11, 3, 38, 66, 61};
    for (uint32_t ch = 0; ch < 5; ++ch) {
        const int c = static_cast<int>(ch);
        std::vector<TrackEvent> events = {
            {0, Bytes({0xC0 | c, programs[ch]})},       {0, Bytes({0xB0 | c, 7, 60 + 10 * c})},
            {0, Bytes({0xB0 | c, 10, 10 + 25 * c})},    {0, Bytes({0xB0 | c, 11, 120 - c})},
            {400, Bytes({0xC0 | c, programs[4 - ch]})}, {500, Bytes({0xB0 | c, 10 + c % 2, 90})}};
        for (uint32_t i = 0; i < 10; ++i) {
            const int key = 60 + static_cast<int>(i * (ch + 1)) % 12;
            events.push_back({i * 96, Bytes({0x90 | c, key, 90})});
            events.push_back({i * 96 + 90 + 10 * ch, Bytes({0x80 | c, key, 0})});
        }
        std::stable_sort(events.begin(), events.end(),
                         [](const TrackEvent &a, const TrackEvent &b) { return a.tick < b.tick; });
        tracks.push_back(Track(events));
    }
    tracks.push_back(Track({{0, Bytes({0x99, 36, 100})}, {96, Bytes({0x89, 36, 0})}}));
    Write("parts.mid", SmfFile(1, DIVISION, tracks));
    const Result r = Run({"retune", "parts.mid", "--scale",
                          std::string(MICROTUNE_SCALES) + "/31-edo.scl", "-o", "parts-31.mid"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("programs (11 Vibraphone, 3 Honky-tonk Piano"), std::string::npos)
        << r.out;
    CheckerLines(RunProgram("/usr/bin/python3", args));
}

// FluidSynth's own MIDI file player, not microtune's code, plays the
// retuned file and the original: each note, against the same key unbent in
// 12-TET (the original, so that the sound font's own tuning cancels), is as
// far from 12-TET as the scale puts it. With bends the notes move to other
// keys and channels; with MTS they keep theirs and the synthesizer retunes
// its keys (FluidSynth honours the single-note tuning change once a channel
// selects the tuning program, and ignores bulk dumps); in an MPE zone each
// note of a four-voice chorale has a member of its own on a 48-semitone
// range (FluidSynth takes the range per channel, and plays MIDI channel 10
// as drums, so the zone keeps off it).
TEST_F(CliTest, RetunedMidiFilePlaysInTuneOnAnotherPlayer) {
    const std::string font = "/usr/share/sounds/sf2/default-GM.sf2";
    if (!fs::exists("/usr/bin/fluidsynth") || !fs::exists(font)) GTEST_SKIP() << "no fluidsynth";
    // Chords of one second each at 96 ticks per half second, on a drawbar
    // organ: FluidSynth 2.3 truncates each pitch to whole cents (down), so a
    // steady voice keeps the rest of the error small. No voice of the chorale sits
    // a twelfth or a seventeenth above another, where a partial would blur
    // its peak.
    const std::vector<std::vector<int>> melody = {{64}, {67}, {70}};
    const std::vector<std::vector<int>> chorale = {
        {48, 55, 64, 72}, {53, 60, 65, 69}, {55, 59, 62, 67}, {48, 55, 64, 72}};
    auto write = [this](const std::string &name, const std::vector<std::vector<int>> &chords) {
        std::vector<TrackEvent> events = {{0, Bytes({0xC0, 16})}};
        for (uint32_t i = 0; i < chords.size(); ++i) {
            for (int key : chords[i]) events.push_back({192 * i, Bytes({0x90, key, 100})});
            for (int key : chords[i]) events.push_back({192 * (i + 1), Bytes({0x80, key, 0})});
        }
        Write(name + ".mid", SmfFile(0, DIVISION, {Track(events)}));
    };
    write("melody", melody);
    write("chorale", chorale);
    const std::string edo31 = std::string(MICROTUNE_SCALES) + "/31-edo.scl";
    const std::string meantone = std::string(MICROTUNE_SCALES) + "/31-edo-meantone.kbm";
    const double just[] = {1.0,       16 / 15.0, 9 / 8.0, 6 / 5.0, 5 / 4.0, 4 / 3.0,
                           45 / 32.0, 3 / 2.0,   8 / 5.0, 5 / 3.0, 9 / 5.0, 15 / 8.0};
    // Due frequencies: key k plays degree k - 60 from middle C, or, by the
    // meantone map, its 31-EDO degree with key 69 at 440 Hz.
    auto justHz = [&just](int key) {
        const int d = key - 60, octave = (d + 120) / 12 - 10;
        return 261.6255653005986 * just[d - 12 * octave] * std::exp2(octave);
    };
    auto edoHz = [](int key) { return 261.6255653005986 * std::exp2((key - 60) / 31.0); };
    auto meantoneHz = [](int key) {
        const int steps[] = {0, 2, 5, 8, 10, 13, 15, 18, 20, 23, 26, 28};
        const int d = key - 60, octave = (d + 120) / 12 - 10;
        return 440.0 * std::exp2((31 * octave + steps[d - 12 * octave] - 23) / 31.0);
    };
    const struct {
        std::vector<std::string> options;
        const std::vector<std::vector<int>> *chords;
        std::function<double(int)> due;
    } runs[] = {
        {{"--tuning", "bend", "--scale", JUST_SCALE}, &melody, justHz},
        {{"--tuning", "mts", "--scale", JUST_SCALE}, &melody, justHz},
        {{"--tuning", "mts", "--scale", edo31}, &melody, edoHz},
        {{"--tuning", "mpe", "--mpe-members", "8", "--scale", JUST_SCALE}, &chorale, justHz},
        {{"--tuning", "mpe", "--mpe-members", "8", "--scale", edo31, "--kbm", meantone},
         &chorale,
         meantoneHz},
    };
    auto render = [&](const std::string &name) {
        const Result r =
            RunProgram("/usr/bin/fluidsynth", {"-ni", "-q", "-C0", "-R0", "-r", "44100", "-F",
                                               Path(name + ".wav"), font, Path(name + ".mid")});
        EXPECT_EQ(r.status, 0) << r.err;
        return audio::ReadWav(Path(name + ".wav"));
    };
    const Audio plainMelody = render("melody"), plainChorale = render("chorale");
    for (const auto &run : runs) {
        const bool isChorale = run.chords == &chorale;
        // With MTS the music starts a beat (half a second) after the tuning;
        // the same part of each note is measured.
        const bool mts = run.options[1] == "mts";
        const double lead = mts ? 0.5 : 0.0;
        std::vector<std::string> args = {"retune", isChorale ? "chorale.mid" : "melody.mid", "-o",
                                         "out.mid"};
        args.insert(args.end(), run.options.begin(), run.options.end());
        if (mts) args.insert(args.end(), {"--mts-lead", "1"});
        const Result retuned = Run(args);
        ASSERT_EQ(retuned.status, 0) << retuned.err;
        const Audio tuned = render("out");
        ASSERT_GT(tuned.Seconds(), static_cast<double>(run.chords->size()));
        for (size_t i = 0; i < run.chords->size(); ++i) {
            const double from = i + 0.3, to = i + 0.9;
            const Spectrum plain(isChorale ? plainChorale : plainMelody, from, to);
            const Spectrum bent(tuned, from + lead, to + lead);
            for (int key : (*run.chords)[i]) {
                const double tet = 261.6255653005986 * std::exp2((key - 60) / 12.0);
                const double due = run.due(key);
                const double a = plain.Peak(tet, 60.0), b = bent.Peak(due, 60.0);
                std::printf(
                    "%s %s, key %d: %.3f Hz unbent, %.3f Hz retuned (%+.2f cents, %+.2f "
                    "due)\n",
                    run.options[1].c_str(), run.options.back().c_str(), key, a, b, Cents(b / a),
                    Cents(due / tet));
                // FluidSynth's whole cents alone take up to 1 (a pure fifth,
                // +1.96 cents, sounds +1.00); the rest is the measurement's.
                EXPECT_NEAR(Cents(b / a), Cents(due / tet), 1.5)
                    << run.options[1] << " key " << key << " chord " << i;
            }
        }
    }
}

// Files that are not what they claim: one line naming the file and what is
// wrong, status 1, nothing written.
// Commands that read, convert and retune never load a MIDI system: the
// loader's own account (LD_DEBUG) names every library the process maps.
// Listing the relay's inputs loads them, which shows the account is read.
TEST_F(CliTest, OnlyPortsLoadTheMidiSystems) {
    Write("in.mid", RoundTripInput());
    const std::string scale = std::string(MICROTUNE_SCALES) + "/19-tet.scl";
    const struct {
        std::vector<std::string> args;
        bool loads;
    } runs[] = {{{"scale", scale}, false},
                {{"keys", "--scale", scale, "--mts", "t.syx"}, false},
                {{"convert", "--scale", scale, "-o", "t.tun"}, false},
                {{"retune", "in.mid", "--scale", scale, "-o", "out.mid"}, false},
                {{"relay", "--list-inputs"}, true}};
    setenv("LD_DEBUG", "files", 1);
    for (const auto &run : runs) {
        const Result r = Run(run.args);
        for (const char *library :
             {"librtmidi", "libasound", "libjack", "libmicrotune-ports", "libmicrotune-devices"}) {
            const std::vector<std::string> lines = Lines(r.err);
            const bool loaded = std::any_of(lines.begin(), lines.end(), [&](const std::string &l) {
                return l.find("file=") != std::string::npos && l.find(library) != std::string::npos;
            });
            // The relay's inputs are the host's ports, not the library's devices.
            const bool expected = run.loads && std::string(library) != "libmicrotune-devices";
            EXPECT_EQ(loaded, expected) << run.args[0] << " " << library;
        }
    }
    unsetenv("LD_DEBUG");
}

TEST_F(CliTest, BadMidiFilesAreRefused) {
    const std::string good = RoundTripInput();
    std::string lying = good;
    lying[14 + 5] = 0x7F;  // the first track claims far more than the file holds
    std::string endless = SmfFile(0, DIVISION, {"MTrk" + Big(4, 4) + Bytes({0, 0x90, 60, 90})});
    std::string smpte = good;
    smpte[12] = static_cast<char>(0xE7);  // -25 frames per second
    Write("not.mid", "RIFF and some text");
    Write("empty.mid", "");
    Write("lying.mid", lying);
    Write("truncated.mid", good.substr(0, good.size() - 5));
    Write("endless.mid", endless);
    Write("smpte.mid", smpte);
    {
        std::ofstream huge(Path("huge.mid"), std::ios::binary);
        huge << good.substr(0, 14);
    }
    fs::resize_file(Path("huge.mid"), 100u << 20);
    const struct {
        const char *file;
        const char *message;
    } cases[] = {
        {"not.mid", "not.mid: not a MIDI file"},
        {"empty.mid", "empty.mid: the file is empty"},
        {"lying.mid", "lying.mid: chunk at byte 14 claims"},
        {"truncated.mid", "truncated.mid: chunk at byte"},
        {"endless.mid", "endless.mid: track 1 ends without an end-of-track event"},
        {"smpte.mid", "smpte.mid: SMPTE time division"},
        {"huge.mid", "huge.mid: the file is larger than"},
        {"missing.mid", "missing.mid: cannot open"},
    };
    for (const auto &c : cases) {
        const Result r = Run({"retune", c.file, "-o", "out.mid", "--wav", "out.wav"});
        EXPECT_EQ(r.status, 1) << c.file;
        const std::vector<std::string> errors = ErrorLines(r.err);
        ASSERT_EQ(errors.size(), 1u) << c.file << "\n" << r.err;
        EXPECT_NE(errors[0].find(c.message), std::string::npos) << errors[0];
        EXPECT_FALSE(fs::exists(Path("out.mid")) || fs::exists(Path("out.wav"))) << c.file;
    }
}

// A remark may follow a value directly, and one stray control byte in the
// description does not make a file binary; several scales make one CSV,
// a bad one reported on its own line.
TEST_F(CliTest, ScaleCollectionsReadInOneRun) {
    Write("remarks.scl",
          "Slendro\x17 ten\n 4\n 1091.!\n 15/8!F#\n 136231/131072!\n 2/1!Low_C3=131.4\n");
    Write("b,c.scl", "Fifth\n 1\n 3/2\n");
    const Result one = Run({"scale", "remarks.scl"});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_NE(one.out.find("Slendro\\x17 ten"), std::string::npos) << one.out;
    EXPECT_NE(one.out.find("1091.000"), std::string::npos) << one.out;
    EXPECT_NE(one.out.find("1.039360"), std::string::npos) << one.out;  // 136231/131072
    const Result csv = Run({"scale", "--csv", "remarks.scl", "missing.scl", "b,c.scl"});
    EXPECT_EQ(csv.status, 1);
    const std::vector<std::string> rows = Lines(csv.out);
    ASSERT_EQ(rows.size(), 1u + 5u + 2u) << csv.out;
    EXPECT_EQ(rows[0], "file,degree,ratio,cents,hz");
    EXPECT_EQ(rows[7], "\"b,c.scl\",1,1.500000,701.955,392.438");
    EXPECT_NE(csv.err.find("missing.scl"), std::string::npos) << csv.err;
    EXPECT_NE(csv.err.find("3 scales, 2 read, 1 refused"), std::string::npos) << csv.err;
}

// A folder of files in one run: each result under its own name, a bad file
// and a name with a control character reported on one escaped line each,
// running status over system exclusive and meta events read with a warning,
// and names and texts kept in the track they came from.
TEST_F(CliTest, RetuneFolderInOneRun) {
    fs::create_directories(Path("in"));
    const std::string notes = Track({{0, Bytes({0x90, 60, 90})},
                                     {0, Bytes({0xF0, 2, 0x7E, 0xF7})},
                                     {10, Bytes({64, 90})},  // status from before the sysex
                                     {10, Meta(0x01, "t")},
                                     {20, Bytes({60, 0})},  // and from before the meta event
                                     {20, Bytes({64, 0})}});
    const std::string named = Track({{0, Meta(0x03, "Melody")}, {0, Meta(0x04, "Flute")}});
    const std::string conductor = Track({{0, Meta(0x03, "Song")},
                                         {0, Meta(0x02, "(c)")},
                                         {0, Meta(0x54, Bytes({96, 0, 0, 0, 0}))}});
    Write("in/a.mid", SmfFile(1, DIVISION, {conductor, notes, named}));
    // The same, as a strict reader reads it, for the checker.
    const std::string plain = Track({{0, Bytes({0x90, 60, 90})},
                                     {10, Bytes({0x90, 64, 90})},
                                     {10, Meta(0x01, "t")},
                                     {20, Bytes({0x90, 60, 0})},
                                     {20, Bytes({0x90, 64, 0})}});
    Write("plain.mid", SmfFile(1, DIVISION, {conductor, plain, named}));
    Write("in/b.mid", "not midi");
    Write("in/c\x1b.mid", SmfFile(0, DIVISION, {notes}));
    for (const char *jobs : {"1", "2"}) {
        fs::remove_all(Path("out"));
        const Result r = Run({"retune", "in", "-o", "out/", "--jobs", jobs});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.out.find("3 files, 4 notes retuned, 1 refused"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Wrote out/c\\x1b.mid: 2 notes"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("warning: 2 channel messages take their status"), std::string::npos)
            << r.out;
        EXPECT_NE(r.err.find("in/b.mid: not a MIDI file"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
        EXPECT_TRUE(fs::exists(Path("out/a.mid")) && fs::exists(Path("out/c\x1b.mid")));
    }
    CheckerLines(RunProgram("/usr/bin/python3",
                            {MICROTUNE_MIDI_CHECKER, Path("plain.mid"), Path("out/a.mid"),
                             "60=261.6255653006", "64=329.6275569129"}));
    // Into its own folder, a file would be replaced by its result.
    EXPECT_NE(Run({"retune", "out", "-o", "out/"}).err.find("is in the output folder"),
              std::string::npos);
}

}  // namespace

namespace {

// Output targets: what is named is written into (a device, a FIFO), through
// (a link), or replaced whole (a file); a failure names its cause and leaves
// what was there as it was.
TEST_F(CliTest, OutputFilesGoWhereTheyAreNamed) {
    Write("in.mid", RoundTripInput());
    Write("old.mid", "old");
    Write("old.wav", "old");
    Write("keep.mid", "old");
    fs::create_symlink("old.mid", Path("link.mid"));
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    // Devices of the test's own (the system's are never put at risk), when
    // nodes can be made here.
    const bool devices = mknod(Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 &&
                         mknod(Path("full").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0;
    // A small file system, filled but for a few bytes (when mounting works here).
    const fs::path small = Path("small");
    fs::create_directory(small);
    const bool mounted =
        std::system(
            ("mount -t tmpfs -o size=64k tmpfs " + small.string() + " 2>/dev/null").c_str()) == 0;
    if (mounted) {
        Write("small/full.mid", "old");
        std::ofstream(small / "filler", std::ios::binary) << std::string(60 * 1024, 'x');
    }
    const struct {
        std::vector<std::string> args;
        int status;
        const char *error;  // expected in the one error line, or ""
        const char *check;  // file that must hold "MThd..."/"RIFF..." after, or be "old"
        const char *holds;
    } cases[] = {
        {{"-o", "null"}, 0, "", "", ""},
        {{"--wav", "null"}, 0, "", "", ""},
        {{"-o", "full"}, 1, "cannot write full: No space left on device", "", ""},
        {{"--wav", "full"}, 1, "cannot write full: No space left on device", "", ""},
        {{"-o", "keep.mid", "--wav", "./keep.mid"}, 2, "are one file", "keep.mid", "old"},
        {{"-o", "link.mid", "--wav", "old.mid"}, 2, "are one file", "old.mid", "old"},
        {{"-o", "-", "--wav", "/dev/stdout"}, 2, "are one file", "", ""},
        {{"-o", "link.mid"}, 0, "", "old.mid", "MThd"},
        {{"-o", "keep.mid", "--wav", "full"}, 1, "No space left", "keep.mid", "old"},
        {{"--wav", "old.wav"}, 0, "", "old.wav", "RIFF"},
        {{"-o", "fifo"}, 0, "", "from-fifo", "MThd"},
        {{"-o", "small/full.mid"},
         1,
         "cannot write small/full.mid: No space left",
         "small/full.mid",
         "old"},
    };
    for (const auto &c : cases) {
        if (!mounted && c.args[1].rfind("small/", 0) == 0) continue;
        if (!devices && (c.args[1] == "null" || c.args.back() == "full")) continue;
        std::vector<std::string> args = {"retune", "in.mid"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        pid_t reader = -1;
        if (c.args[1] == "fifo") {
            reader = fork();
            if (reader == 0) {
                std::ofstream(Path("from-fifo"), std::ios::binary)
                    << std::ifstream(Path("fifo"), std::ios::binary).rdbuf();
                _exit(0);
            }
        }
        const Result r = Run(args);
        if (reader > 0) waitpid(reader, nullptr, 0);
        const std::string what = c.args[0] + " " + c.args[1];
        SCOPED_TRACE(what);
        EXPECT_EQ(r.status, c.status) << what << "\n" << r.err;
        const std::vector<std::string> errors = ErrorLines(r.err);
        if (*c.error) {
            ASSERT_EQ(errors.size(), 1u) << what << "\n" << r.err;
            EXPECT_NE(errors[0].find(c.error), std::string::npos) << errors[0];
            EXPECT_EQ(r.out.find("Wrote"), std::string::npos) << what;
        }
        if (*c.check) {
            EXPECT_EQ(ReadFile(Path(c.check)).substr(0, 4), c.holds) << what;
        }
    }
    struct stat info;
    for (const char *device : {"null", "full"})
        EXPECT_TRUE(!devices || (stat(Path(device).c_str(), &info) == 0 && S_ISCHR(info.st_mode)))
            << device << " is no longer a device";
    EXPECT_TRUE(fs::is_symlink(Path("link.mid")));
    EXPECT_TRUE(fs::is_fifo(Path("fifo")));
    for (const auto &entry : fs::directory_iterator(dir_))
        EXPECT_EQ(entry.path().filename().string().find(".microtune-"), std::string::npos)
            << "left behind: " << entry.path();
    if (mounted) std::system(("umount " + small.string()).c_str());

    // "-": the file alone on standard output, the report on standard error.
    const Result piped = Run({"retune", "in.mid", "-o", "-"});
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out.substr(0, 4), "MThd");
    EXPECT_NE(piped.err.find("Wrote -"), std::string::npos) << piped.err;
}

// A long render stopped: killed, the existing file stays as it was and the
// next output to it takes the temporary file away; Ctrl-C or SIGTERM takes
// it away at once, says so and exits 130.
TEST_F(CliTest, AnInterruptedRenderLeavesTheOutputAlone) {
    Write("long.mid",
          SmfFile(0, DIVISION,
                  {Track({{0, Bytes({0x90, 60, 90})}, {96 * 2000, Bytes({0x80, 60, 0})}})}));
    for (const int signal : {SIGKILL, SIGINT, SIGTERM}) {
        Write("out.wav", "old");
        Write("out.mid", "old");
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir_.c_str()) != 0) _exit(127);
            const int err = open(Path(".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(err, 2);
            execl(MICROTUNE_BINARY, MICROTUNE_BINARY, "retune", "long.mid", "-o", "out.mid",
                  "--wav", "out.wav", static_cast<char *>(nullptr));
            _exit(127);
        }
        // Killed while the WAV file is being rendered.
        auto temporaries = [&] {
            int n = 0;
            for (const auto &entry : fs::directory_iterator(dir_))
                n += entry.path().filename().string().rfind(".out.wav.microtune-", 0) == 0;
            return n;
        };
        for (int i = 0; i < 400 && temporaries() == 0; ++i) usleep(10000);
        usleep(200000);
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_EQ(ReadFile(Path("out.wav")), "old") << signal;
        EXPECT_EQ(ReadFile(Path("out.mid")), "old") << signal;
        if (signal == SIGKILL) {
            EXPECT_TRUE(WIFSIGNALED(status));
            EXPECT_EQ(temporaries(), 1);
            EXPECT_EQ(Run({"play", "--wav", "out.wav", "--step", "0.01", "0"}).status, 0);
            EXPECT_EQ(temporaries(), 0);
            continue;
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << signal;
        EXPECT_EQ(temporaries(), 0) << signal;
        EXPECT_NE(ReadFile(Path(".stderr")).find("microtune: interrupted"), std::string::npos);
    }
}

}  // namespace
