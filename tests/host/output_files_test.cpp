// Writing files: the output-file rule's temporary files and its view of
// which names are one file, and the one size rule of MIDI files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formats/midi_file.h"
#include "formats/midi_recording.h"
#include "host_error.h"
#include "output_file/output_file.h"

namespace {

namespace fs = std::filesystem;

class OutputFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/microtune_output_files_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const std::string &name) const { return (dir_ / name).string(); }
    void Touch(const std::string &name) const { std::ofstream(Path(name)) << "old"; }
    fs::path dir_;
};

// The id of a process that has ended.
pid_t EndedProcess() {
    const pid_t pid = fork();
    if (pid == 0) _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

// A temporary file is named for its file and its writer; those of writers
// that are gone go when the next output to that name starts, and nothing
// else does.
TEST_F(OutputFiles, TemporariesOfEndedWritersAreRemoved) {
    const std::string ended = std::to_string(EndedProcess());
    const std::string alive = std::to_string(getppid());
    const struct {
        std::string name;
        bool stays;
    } others[] = {
        {".out.mid.microtune-" + ended, false},      {".out.mid.microtune-" + ended + "-2", false},
        {".out.mid.microtune-" + alive, true},       {".other.mid.microtune-" + ended, true},
        {".out.mid.microtune-" + ended + "x", true}, {"out.mid.microtune-" + ended, true},
        {".out.mid.microtune-+" + ended, true},      {".out.mid.microtune--" + ended, true},
    };
    for (const auto &other : others) Touch(other.name);
    mtio::OutputFile file(Path("out.mid"));
    ASSERT_TRUE(file.Ok()) << file.Error();
    EXPECT_EQ(file.WritePath(), Path(".out.mid.microtune-" + std::to_string(getpid())));
    // A second output of this process to the name gets a name of its own.
    mtio::OutputFile second(Path("out.mid"));
    EXPECT_EQ(second.WritePath(), file.WritePath() + "-1");
    for (const auto &other : others)
        EXPECT_EQ(fs::exists(Path(other.name)), other.stays) << other.name;
    const std::string temporary = file.WritePath();
    ASSERT_TRUE(file.Write("new", 3));
    ASSERT_TRUE(file.Commit()) << file.Error();
    EXPECT_FALSE(fs::exists(temporary));
    std::ifstream in(Path("out.mid"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");
}

// Two outputs of one run end in one file through a link, another spelling
// or a linked folder, existing or new; devices take several outputs.
TEST_F(OutputFiles, NamesOfOneFile) {
    Touch("a.mid");
    fs::create_symlink("a.mid", Path("link.mid"));
    fs::create_symlink("new.mid", Path("dangling.mid"));
    fs::create_directory(Path("sub"));
    fs::create_directory_symlink("sub", Path("sublink"));
    const struct {
        std::string a, b;
        bool same;
    } cases[] = {
        {Path("a.mid"), Path("a.mid"), true},
        {Path("a.mid"), Path("sub/../a.mid"), true},
        {Path("link.mid"), Path("a.mid"), true},
        {Path("dangling.mid"), Path("new.mid"), true},
        {Path("sublink/x.wav"), Path("sub/x.wav"), true},
        {"-", "-", true},
        {Path("a.mid"), Path("b.mid"), false},
        {Path("new.mid"), Path("a.mid"), false},
        {"/dev/null", "/dev/null", false},
        {"-", Path("a.mid"), false},
    };
    for (const auto &c : cases) EXPECT_EQ(mtio::SameOutput(c.a, c.b), c.same) << c.a << " " << c.b;
}

// The reader takes every file the writer writes, and the writer refuses
// what the reader would, before anything is written.
TEST_F(OutputFiles, MidiFilesOfTheLargestSizeAreWrittenAndReadBack) {
    // Header, track chunk header, a text event of 4-byte length, end of track.
    const size_t around = 14 + 8 + (1 + 2 + 4) + (1 + 3);
    for (const size_t extra : {0, 1}) {
        const size_t text = mthost::MAX_MIDI_FILE_BYTES - around + extra;
        std::vector<unsigned char> event = {0xFF, 0x01};
        for (int shift = 21; shift >= 0; shift -= 7)
            event.push_back(
                static_cast<unsigned char>((text >> shift & 0x7F) | (shift ? 0x80 : 0)));
        event.resize(event.size() + text, 'x');
        std::vector<mthost::MidiTrackWriter> tracks(1);
        tracks[0].Add(0, event.data(), event.size());
        tracks[0].End(0);
        const std::string name = Path("big" + std::to_string(extra) + ".mid");
        if (extra) {
            EXPECT_THROW(mthost::SaveMidiFile(name, 0, 96, tracks), mthost::HostError);
            EXPECT_TRUE(fs::is_empty(dir_));
            continue;
        }
        mthost::SaveMidiFile(name, 0, 96, tracks);
        EXPECT_EQ(fs::file_size(name), mthost::MAX_MIDI_FILE_BYTES);
        EXPECT_EQ(mthost::ReadMidiFile(name).events.size(), 1u);
        std::ofstream(name, std::ios::app) << 'x';
        EXPECT_THROW(mthost::ReadMidiFile(name), mthost::HostError);
        fs::remove(name);
    }
}

}  // namespace
