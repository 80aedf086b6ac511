// The General MIDI voice names, naming a voice, finding a voice from what a
// user typed, and the printed listing.
#include "voices/voice_catalogue.h"

#include <cstdio>

#include "microtune.h"
#include "platform/platform.h"
#include "state/library_lock.h"

namespace mt {

const char *const VoiceNameTable[NUM_MIDI_VOICES] = {
    "Acoustic Grand Piano",
    "Bright Acoustic Piano",
    "Electric Grand Piano",
    "Honky-tonk Piano",
    "Rhodes Piano",
    "Chorused Piano",
    "Harpsichord",
    "Clavinet",
    "Celesta",
    "Glockenspiel",
    "Music Box",
    "Vibraphone",
    "Marimba",
    "Xylophone",
    "Tubular Bells",
    "Dulcimer",
    "Hammond Organ",
    "Percussive Organ",
    "Rock Organ",
    "Church Organ",
    "Reed Organ",
    "Accordian",
    "Harmonica",
    "Tango Accordian",
    "Acoustic Guitar (nylon)",
    "Acoustic Guitar (steel)",
    "Electric Guitar (jazz)",
    "Electric Guitar (clean)",
    "Electric Guitar (muted)",
    "Overdriven Guitar",
    "Distortion Guitar",
    "Guitar Harmonics",
    "Acoustic Bass",
    "Electric Bass (finger)",
    "Electric Bass (pick)",
    "Fretless Bass",
    "Slap Bass 1",
    "Slap Bass 2",
    "Synth Bass 1",
    "Synth Bass 2",
    "Violin",
    "Viola",
    "Cello",
    "Contrabass",
    "Tremolo Strings",
    "Pizzicato Strings",
    "Orchestral Harp",
    "Timpani",
    "String Ensemble 1",
    "String Ensemble 2",
    "Synth Strings 1",
    "Synth Strings 2",
    "Choir Aahs",
    "Voice Oohs",
    "Synth Voice",
    "Orchestra Hit",
    "Trumpet",
    "Trombone",
    "Tuba",
    "Muted Trumpet",
    "French Horn",
    "Brass Section",
    "Synth Brass 1",
    "Synth Brass 2",
    "Soprano Sax",
    "Alto Sax",
    "Tenor Sax",
    "Baritone Sax",
    "Oboe",
    "Cor Anglais (English Horn)",
    "Bassoon",
    "Clarinet",
    "Piccolo",
    "Flute",
    "Recorder",
    "Pan Flute",
    "Bottle Blow",
    "Shakuhachi",
    "Whistle",
    "Ocarina",
    "Lead 1 (square)",
    "Lead 2 (sawtooth)",
    "Lead 3 (caliope lead)",
    "Lead 4 (chiff lead)",
    "Lead 5 (charang)",
    "Lead 6 (voice)",
    "Lead 7 (fifths)",
    "Lead 8 (brass + lead)",
    "Pad 1 (new age)",
    "Pad 2 (warm)",
    "Pad 3 (polysynth)",
    "Pad 4 (choir)",
    "Pad 5 (bowed)",
    "Pad 6 (metallic)",
    "Pad 7 (halo)",
    "Pad 8 (sweep)",
    "FX 1 (rain)",
    "FX 2 (soundtrack)",
    "FX 3 (crystal)",
    "FX 4 (atmosphere)",
    "FX 5 (brightness)",
    "FX 6 (goblins)",
    "FX 7 (echoes)",
    "FX 8 (sci-fi)",
    "Sitar",
    "Banjo",
    "Shamisen",
    "Koto",
    "Kalimba",
    "Bagpipe",
    "Fiddle",
    "Shanai",
    "Tinkle Bell",
    "Agogo",
    "Steel Drums",
    "Woodblock",
    "Taiko Drum",
    "Melodic Tom",
    "Synth Drum",
    "Reverse Cymbal",
    "Guitar Fret Noise",
    "Breath Noise",
    "Seashore",
    "Bird Tweet",
    "Telephone Ring",
    "Helicopter",
    "Applause",
    "Gunshot",
};

namespace {

// Longest text a lookup looks at; the rest of the caller's text is ignored.
constexpr int WORKING_TEXT_CHARS = 100;

// The white-space set of the "C" locale; bytes from 0x80 up never count,
// whatever locale the host has set.
bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Whole-text case-insensitive equality folding ASCII letters only, so that
// a host's locale cannot change which voice a text finds.
bool EqualsNoCaseAscii(const char *a, const char *b) {
    for (;; ++a, ++b) {
        if (AsciiUpper(*a) != AsciiUpper(*b)) return false;
        if (*a == '\0') return true;
    }
}

// Writes name into buf cut to len - 1 characters and zeroes the rest of
// the len bytes, so the caller always gets a terminated text.
void WriteName(const char *name, char *buf, int len) {
    if (buf == nullptr || len < 1) return;
    int i = 0;
    for (; i < len - 1 && name[i] != '\0'; ++i) buf[i] = name[i];
    for (; i < len; ++i) buf[i] = '\0';
}

// A text that starts with '+' or a digit is a voice number, read as atoi
// reads it in the "C" locale and clamped to the table.
int ParseVoiceNumber(const char *text) {
    if (*text == '+') ++text;
    int value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        // Anything past the table clamps to its end; stopping here also
        // keeps a long run of digits from overflowing.
        if (value >= NUM_MIDI_VOICES) return NUM_MIDI_VOICES - 1;
    }
    return value;
}

enum class Pass { WholeWords, WordStart, Anywhere };
constexpr Pass kLaterPasses[] = {Pass::WholeWords, Pass::WordStart, Pass::Anywhere};

bool NameMatches(const char *name, const char *text, int textLength, Pass pass) {
    for (int p = 0; name[p] != '\0'; ++p) {
        const bool wordStart = p == 0 || IsWhite(name[p - 1]);
        if (pass != Pass::Anywhere && !wordStart) continue;
        if (PrefixCompareNoCase(name + p, text) != 0) continue;
        if (pass == Pass::WholeWords) {
            const char after = name[p + textLength];
            if (after != '\0' && !IsWhite(after)) continue;
        }
        return true;
    }
    return false;
}

int LookUpVoice(const char *text) {
    for (int k = 0; k < NUM_MIDI_VOICES; ++k)
        if (EqualsNoCaseAscii(VoiceNameTable[k], text)) return k;

    int textLength = 0;
    while (text[textLength] != '\0') ++textLength;
    for (Pass pass : kLaterPasses)
        for (int k = 0; k < NUM_MIDI_VOICES; ++k)
            if (NameMatches(VoiceNameTable[k], text, textLength, pass)) return k;
    return 0;
}

// Waits for one character from standard input. The prompt has no line
// break, so flush it to make sure the user sees it before the wait.
int WaitForCharacter() {
    std::fflush(stdout);
    return std::getchar();
}

}  // namespace

void CollapseWhitespace(char *text) {
    const char *from = text;
    char *to = text;
    while (IsWhite(*from)) ++from;
    while (*from != '\0') {
        if (IsWhite(*from)) {
            while (IsWhite(*from)) ++from;
            *to++ = ' ';
        } else {
            *to++ = *from++;
        }
    }
    *to = '\0';
}

int PrefixCompareNoCase(const char *at, const char *text) {
    for (int k = 0; text[k] != '\0'; ++k) {
        // The end of 'at' differs from every character of text.
        if (at[k] == '\0') return 1;
        if (PlatformCharUpper(at[k]) != PlatformCharUpper(text[k])) return 1;
    }
    return 0;
}

}  // namespace mt

extern "C" {

MICROTUNE_EXPORT char *MICROTUNE_API GetMidiVoiceName(int index, char *buf, int len) {
    mt::ExportLock lock;
    if (!lock) return nullptr;
    // A number outside the table names nothing: the caller gets an empty text.
    const char *name = (index >= 0 && index < mt::NUM_MIDI_VOICES) ? mt::VoiceNameTable[index] : "";
    mt::WriteName(name, buf, len);
    return buf;
}

MICROTUNE_EXPORT int MICROTUNE_API FindMidiVoice(char *text, char *nameOut, int len) {
    mt::ExportLock lock;
    if (!lock) return 0;
    char working[mt::WORKING_TEXT_CHARS + 1];
    int n = 0;
    if (text != nullptr)
        for (; n < mt::WORKING_TEXT_CHARS && text[n] != '\0'; ++n) working[n] = text[n];
    working[n] = '\0';
    mt::CollapseWhitespace(working);

    int voice;
    if (working[0] == '+' || (working[0] >= '0' && working[0] <= '9'))
        voice = mt::ParseVoiceNumber(working);
    else
        voice = mt::LookUpVoice(working);

    mt::WriteName(mt::VoiceNameTable[voice], nameOut, len);
    return voice;
}

MICROTUNE_EXPORT int MICROTUNE_API PrintVoices(void) {
    // The catalogue is constant: no lock, so no other thread waits on the user.
    if (mt::CalledFromMessageTap()) return 0;
    int count = 0;
    for (int k = 0; k < mt::NUM_MIDI_VOICES; ++k) {
        const int printed = std::printf("%s (%d), ", mt::VoiceNameTable[k], k);
        if (printed > 0) count += printed;
        if (count >= 50) {
            std::printf("\n");
            count = 0;
        }
        if (k == 64) {
            std::printf("\n(continues...)");
            mt::WaitForCharacter();
        }
    }
    std::printf("\n");
    return mt::WaitForCharacter();
}

}  // extern "C"
