/* What the recording companion stores for each call it receives. */
#ifndef RECORDING_COMPANION_H
#define RECORDING_COMPANION_H

/* Calls other than the send entry are recorded with these statuses. */
enum { CALL_INITIALISE = 0x1000, CALL_CLEAN_UP = 0x1001, CALL_DELAY = 0x1002 };

#define MAX_COMPANION_CALLS 4096

typedef struct CompanionCall {
    int status, channel, data1, data2;
} CompanionCall;

#endif
