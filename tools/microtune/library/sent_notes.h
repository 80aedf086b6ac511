// What the library sends, as it tells it through its message tap: the
// note-ons and note-offs of the calls made while a SentNotes exists.
#ifndef MICROTUNE_SENT_NOTES_H
#define MICROTUNE_SENT_NOTES_H

#include <array>

#include "library/message_listeners.h"

namespace mthost {

struct SentNote {
    int channel;  // the library's channel, 0-31
    int note;
    bool on;
};

// Listens to the library's messages for its lifetime. The tap runs inside
// library calls; read the notes between calls, from the thread that makes
// them or under the same lock.
class SentNotes {
public:
    SentNotes();
    SentNotes(const SentNotes &) = delete;
    SentNotes &operator=(const SentNotes &) = delete;

    void Clear() { count_ = 0; }
    const SentNote *begin() const { return notes_.data(); }
    const SentNote *end() const { return notes_.data() + count_; }
    // The last note-on since Clear; false if none.
    bool LastNoteOn(SentNote *found) const;
    // Whether a note-off for this channel and note was sent since Clear.
    bool NoteOffSent(int channel, int note) const;

private:
    // Enough for any one call of the relay or a chord; later ones are dropped.
    std::array<SentNote, 512> notes_{};
    int count_ = 0;
    ListenToLibrary listening_;
    void Add(const SentNote &note);
    friend struct SentNotesTap;
};

// The 14-bit bend the library gives a degree; 8192 (none) if it cannot say.
int BendOfDegree(int degree);
// A 14-bit bend in cents from the note, on the 2-semitone range.
inline double BendCents(int bend) { return (bend - 8192) * (100.0 / 4096.0); }
// The bend the library gives a degree, in cents from the note.
inline double BendCentsOfDegree(int degree) { return BendCents(BendOfDegree(degree)); }

}  // namespace mthost

#endif
