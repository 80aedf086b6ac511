#include "library/sent_notes.h"

#include "microtune_ext.h"

namespace mthost {

struct SentNotesTap {
    static void Tap(void *context, int channel, int status, int data1, int) {
        const int kind = status & 0xF0;
        // A note-on of velocity 0 never leaves the library as a release:
        // every stop is a note-off.
        if (kind == 0x90 || kind == 0x80)
            static_cast<SentNotes *>(context)->Add({channel, data1, kind == 0x90});
    }
};

SentNotes::SentNotes() : listening_(&SentNotesTap::Tap, this) {}

void SentNotes::Add(const SentNote &note) {
    if (count_ < static_cast<int>(notes_.size())) notes_[count_++] = note;
}

bool SentNotes::LastNoteOn(SentNote *found) const {
    for (int i = count_ - 1; i >= 0; --i)
        if (notes_[i].on) {
            *found = notes_[i];
            return true;
        }
    return false;
}

bool SentNotes::NoteOffSent(int channel, int note) const {
    for (const SentNote &sent : *this)
        if (!sent.on && sent.channel == channel && sent.note == note) return true;
    return false;
}

int BendOfDegree(int degree) {
    int bend = 8192;
    if (MicrotuneDegreePitch(degree, nullptr, &bend) != 1) return 8192;
    return bend;
}

}  // namespace mthost
