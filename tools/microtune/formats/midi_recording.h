// What the built-in software synthesizer was sent, stamped with the tick of
// the event that caused it, and the MIDI file that keeps it.
#ifndef MICROTUNE_MIDI_RECORDING_H
#define MICROTUNE_MIDI_RECORDING_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "formats/midi_file.h"
#include "formats/midi_file_writer.h"

namespace mthost {

struct RecordedMessage {
    int64_t tick;
    unsigned char status;   // without channel bits
    unsigned char channel;  // 0..31, as the library numbers them
    unsigned char data1;
    unsigned char data2;
};

class MidiRecording {
public:
    // ticksPerSecond > 0: the output's clock sets the tick (play, demo);
    // otherwise the caller does with SetTick.
    explicit MidiRecording(double ticksPerSecond = 0.0) : ticksPerSecond_(ticksPerSecond) {}

    void SetTick(int64_t tick) { tick_ = tick; }
    void SetSeconds(double seconds);
    int64_t Tick() const { return tick_; }
    double TicksPerSecond() const { return ticksPerSecond_; }

    // Room for this many messages, so that a long file's recording grows
    // once rather than doubling past what it needs.
    void Reserve(size_t messages) { messages_.reserve(messages); }
    // One message of the companion's send entry.
    void Add(int status, int channel, int data1, int data2);
    const std::vector<RecordedMessage> &Messages() const { return messages_; }

private:
    double ticksPerSecond_;
    int64_t tick_ = 0;
    std::vector<RecordedMessage> messages_;
};

// The tick resolution of recordings made on the clock (play, demo): 1000
// ticks per quarter note at 120 beats per minute, half a millisecond a tick.
constexpr int CLOCK_DIVISION = 1000;
constexpr int CLOCK_TEMPO_MICROSECONDS = 500000;
constexpr double CLOCK_TICKS_PER_SECOND = CLOCK_DIVISION * 1e6 / CLOCK_TEMPO_MICROSECONDS;

struct MidiFileSummary {
    std::vector<int> channels;               // library channels that play notes
    std::vector<std::pair<int, int>> moved;  // library channel, file channel
    std::vector<int> fileChannels;           // file channels written, 0-31
    // Library channels took file channels while they sounded (more played
    // over the file than one port holds).
    bool folded = false;
    bool upperTrack = false;  // file channels 16-31 written to a second track on port 1
    bool drumClash = false;   // file channel 25 (port 1's drum channel) had to be used
};

// "channels 0 1 17; moved to file channels 17->2; ...", for the command's report.
std::string DescribeChannels(const MidiFileSummary &summary);

// Writes a format 1 file: the meta events given (tempo map, signatures,
// names, texts, markers, lyrics, SMPTE offset) and the recorded messages of every channel that
// plays a note, each channel preceded at tick 0 by the 2-semitone bend range. When the channels
// that play fit on one port, channels 16-31 move to free file channels 0-15; otherwise file
// channels 16-31 go into a second track on MIDI port 1. Tempo and signatures go to the first track;
// the other meta events go to the track of their event's `track` (tracks that hold nothing else
// come before port 1's). Written to a temporary name and renamed; throws
// HostError.
MidiFileSummary WriteMidiRecording(const std::string &path, int division,
                                   const std::vector<MidiFileEvent> &metaEvents,
                                   const MidiRecording &recording, int64_t endTick);

// Writes the tracks as every output file is written (output_file/output_file.h); throws
// HostError with the cause.
void SaveMidiFile(const std::string &path, int format, int division,
                  const std::vector<MidiTrackWriter> &tracks);

// Writes a recording made on the clock and says so on standard output.
void WriteRecordingOnClock(const std::string &path, const MidiRecording &recording);

}  // namespace mthost

#endif
