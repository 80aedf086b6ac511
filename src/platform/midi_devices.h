// The MIDI device module (libmicrotune-devices.so): RtMidi, and through it
// ALSA and JACK, kept out of libmicrotune.so so that a program that only
// renders, reads scales or converts files never loads them. The POSIX
// back-end loads the module the first time devices are listed or opened and
// reaches it through the one table below. Plain C, so that no exception or
// C++ type crosses between the two.
#ifndef MICROTUNE_MIDI_DEVICES_H
#define MICROTUNE_MIDI_DEVICES_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MICROTUNE_DEVICES_MODULE "libmicrotune-devices.so"
#define MICROTUNE_DEVICES_ENTRY "MicrotuneDevices"
/* Raised when a member changes meaning; the library refuses another. */
#define MICROTUNE_DEVICES_VERSION 1

/* Results are the Windows multimedia codes of platform.h. */
typedef struct MicrotuneDevicesTable {
    int version;
    /* Lists the output ports again; their number. */
    unsigned (*count)(void);
    /* The name of port `index` of the last list (terminated within size). */
    unsigned (*name)(int index, char *name, size_t size);
    /* Opens port `index` of the last list; on failure `reason` says why. */
    unsigned (*open)(int index, void **handle, char *reason, size_t size);
    /* One message of `length` bytes. */
    unsigned (*send)(void *handle, const unsigned char *bytes, size_t length);
    unsigned (*close)(void *handle);
} MicrotuneDevicesTable;

typedef const MicrotuneDevicesTable *(*MicrotuneDevicesTableEntry)(void);

#ifdef __cplusplus
}
#endif

#endif
