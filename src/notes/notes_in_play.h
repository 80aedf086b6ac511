// The table of notes in play.
#ifndef MICROTUNE_NOTES_IN_PLAY_H
#define MICROTUNE_NOTES_IN_PLAY_H

namespace mt {

// Appends a row; returns the new count, or the unchanged count when full.
// part: the part that plays the row (0 for the classic interface and percussion).
int AddNoteInPlay(int degree, double ratio, int channel, int note, int part = 0);
// Removes a row (0 <= row < nNotesInPlay), moving later rows down.
void RemoveNoteInPlay(int row);
// First row matching every non-negative key; 1 and *rowOut if found.
int FindNoteInPlay(int degree, int channel, int note, int *rowOut);
// The first row from row on whose iDegree equals degree (any sign), or -1.
int NextRowOfDegree(int degree, int row);

}  // namespace mt

#endif
