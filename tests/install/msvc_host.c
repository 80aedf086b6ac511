/* A host as a Microsoft-style linker sees it, without a C library: the
 * answers come back as the exit status, 540 mod 256 = 28 when every call
 * reached its export with the right calling convention. */
__declspec(dllimport) void __stdcall GetScaleFromText(double *, int *, char *, int);
__declspec(dllimport) int __stdcall FindMidiVoice(char *, char *, int);
__declspec(dllimport) int __cdecl StopAllNotesPlayed(int);

int start(void) {
    char text[] = "9/8 5/4 3/2 2/1", query[] = "violin", name[64];
    double ratios[16];
    int count = 0;
    GetScaleFromText(ratios, &count, text, 16);
    return count * 100 + FindMidiVoice(query, name, sizeof name) + StopAllNotesPlayed(0);
}
