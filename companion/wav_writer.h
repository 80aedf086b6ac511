// The companion's WAV file: what the synthesizer renders offline is written
// here as float, 16-bit or 24-bit samples, and a file that outgrows what a
// WAV header can count goes on as RF64. Kept apart from the synthesizer so
// that the file's formats, its size limit and its errors have one place.
//
// Settings come from the environment when the file is opened:
//   MICROTUNE_SYNTH_WAV_FORMAT "float" (default), "pcm16" or "pcm24"
//   MICROTUNE_SYNTH_WAV_LIMIT the size at which the file goes on as RF64 (tests)
#ifndef TEMBREL_WAV_WRITER_H
#define TEMBREL_WAV_WRITER_H

namespace tembrel {

// Creates the file at `path` for stereo frames at `sampleRate`; false with
// the cause in WavError().
bool OpenWav(const char *path, int sampleRate);
// From a successful OpenWav until CloseWav, also once writing has failed:
// rendering goes on, and only the failure's cause is kept.
bool WavOpen();
// Appends interleaved stereo frames; after a failure they are dropped.
void WriteWavFrames(const float *frames, int count);
// Completes the file's header and closes it.
void CloseWav();

// The first thing that went wrong with the file since ClearWavError ("" while
// it is sound); kept past CloseWav, so that the host can ask.
const char *WavError();
void ClearWavError();

}  // namespace tembrel

#endif
