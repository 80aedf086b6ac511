/* A host linked against microtune through an import library, not loaded by
 * name: every call below has to reach the right export with the right
 * calling convention, or the link or the results fail. */
#include <stdio.h>
#include <string.h>

#include "microtune.h"

int main(void) {
    char name[64], text[] = "9/8 5/4 3/2 2/1", query[] = "violin";
    double ratios[16];
    int count = 0;
    GetScaleFromText(ratios, &count, text, 16);
    const int voice = FindMidiVoice(query, name, sizeof name);
    const int ok = count == 5 && ratios[2] == 1.25 && voice == 40 && strcmp(name, "Violin") == 0 &&
                   strcmp(GetMidiVoiceName(0, name, sizeof name), "Acoustic Grand Piano") == 0 &&
                   StopAllNotesPlayed(0) == 0 && nNumOutDevices() >= 0;
    printf("%s: %d ratios, voice %d, %d devices\n", ok ? "ok" : "FAIL", count, voice,
           nNumOutDevices());
    return ok ? 0 : 1;
}
