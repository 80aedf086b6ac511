// MIDI Tuning Standard messages for a key table: the non-real-time bulk
// dump and the real-time single-note tuning change.
#include "microtune_files.h"

namespace {

constexpr unsigned char SYSEX = 0xF0, END_OF_SYSEX = 0xF7;
constexpr unsigned char NON_REAL_TIME = 0x7E, REAL_TIME = 0x7F;
constexpr unsigned char MIDI_TUNING = 0x08, BULK_DUMP = 0x01, SINGLE_NOTE = 0x02;
constexpr int NAME_LENGTH = 16;
// A single-note change holds at most 127 keys: the keys go in two of 64.
constexpr int KEYS_PER_MESSAGE = 64;

// Bytes into the caller's buffer, counting them all.
struct Bytes {
    unsigned char *data;
    int size, length;
    void Put(int byte) {
        if (length < size) data[length] = static_cast<unsigned char>(byte);
        ++length;
    }
};

}  // namespace

extern "C" {

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneWriteMtsBulkDump(const MicrotuneKeyTable *table,
                                                              const char *name, int device,
                                                              int program, unsigned char *sink,
                                                              int outSize) {
    if (!table) return -1;
    Bytes bytes{sink, sink ? outSize : 0, 0};
    const int head[] = {SYSEX,       NON_REAL_TIME, device & 0x7F,
                        MIDI_TUNING, BULK_DUMP,     program & 0x7F};
    for (int byte : head) bytes.Put(byte);
    // Printable ASCII only, padded with spaces: anything else reads as '?'.
    bool ended = !name;
    for (int i = 0; i < NAME_LENGTH; ++i) {
        ended = ended || name[i] == '\0';
        const unsigned char c = ended ? ' ' : static_cast<unsigned char>(name[i]);
        bytes.Put(c >= 0x20 && c < 0x7F ? c : '?');
    }
    for (const MicrotuneKey &key : table->keys)
        for (unsigned char byte : key.mts) bytes.Put(byte);
    unsigned char checksum = 0;
    for (int i = 1; i < bytes.length && i < bytes.size; ++i) checksum ^= bytes.data[i];
    bytes.Put(checksum & 0x7F);
    bytes.Put(END_OF_SYSEX);
    return bytes.length;
}

MICROTUNE_EXPORT int MICROTUNE_CAPI MicrotuneWriteMtsSingleNote(const MicrotuneKeyTable *table,
                                                                int device, int program,
                                                                unsigned char *sink, int outSize) {
    if (!table) return -1;
    Bytes bytes{sink, sink ? outSize : 0, 0};
    for (int first = 0; first < MICROTUNE_KEYS; first += KEYS_PER_MESSAGE) {
        const int head[] = {SYSEX,       REAL_TIME,      device & 0x7F,   MIDI_TUNING,
                            SINGLE_NOTE, program & 0x7F, KEYS_PER_MESSAGE};
        for (int byte : head) bytes.Put(byte);
        for (int key = first; key < first + KEYS_PER_MESSAGE; ++key) {
            bytes.Put(key);
            for (unsigned char byte : table->keys[key].mts) bytes.Put(byte);
        }
        bytes.Put(END_OF_SYSEX);
    }
    return bytes.length;
}

}  // extern "C"
