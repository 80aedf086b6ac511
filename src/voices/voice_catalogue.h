// The General MIDI voice names and their lookup.
#ifndef MICROTUNE_VOICE_CATALOGUE_H
#define MICROTUNE_VOICE_CATALOGUE_H

namespace mt {

constexpr int NUM_MIDI_VOICES = 128;
extern const char *const VoiceNameTable[NUM_MIDI_VOICES];

void CollapseWhitespace(char *text);
int PrefixCompareNoCase(const char *at, const char *text);

}  // namespace mt

#endif
