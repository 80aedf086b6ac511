#include <stdio.h>
#include <microtune.h>

int main(void) {
    char scale[] = "9/8 5/4 4/3 3/2 5/3 15/8 2/1", voice[] = "flute", name[64];
    int device = nNumOutDevices() - 1;  /* the last entry: "QuickTime", the built-in synthesizer */
    printf("Playing on %s\n", szNameForDevice(device, name, sizeof name));
    SetMidiVoice(FindMidiVoice(voice, name, sizeof name));
    if (StartMidiOutForiDev(device) != 1) return 1;
    Set1o1(220.0);
    SetMidiScale(scale);
    for (int degree = 0; degree <= 4; degree += 2) PlayScaleDegree(degree, 100); /* 4:5:6 */
    SleepSeconds(2.0);
    StopAllNotesPlayed(0);
    StopMidiOut();
    StopQT();
    return 0;
}
