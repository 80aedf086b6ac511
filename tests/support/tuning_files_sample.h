/* A scale file and a keyboard map read through the library's tuning-file
 * reader, and the digest of the key table they give. Shared by the unit
 * tests (Linux, 64 and 32 bits) and the Windows conformance host (the DLL
 * under Wine), so that every build must read the same scale text and work
 * out the same key table to the bit. */
#ifndef MICROTUNE_TUNING_FILES_SAMPLE_H
#define MICROTUNE_TUNING_FILES_SAMPLE_H

#include <stdint.h>
#include <string.h>

#include "../../include/microtune_files.h"

/* Windows line ends, a byte-order mark, a UTF-8 description, ratios with
 * spaces and remarks, and cents. */
static const char TUNING_SAMPLE_SCL[] =
    "\xEF\xBB\xBF! sample.scl\r\nJust major, a quarter-comma E \xE2\x80\x94 test\r\n 7\r\n!\r\n"
    " 9 / 8 tone\r\n 386.3137 third\r\n 4/3\r\n 3/2\r\n 5/3\r\n 15/8\r\n 2/1\r\n";
static const char TUNING_SAMPLE_TEXT[] = "9/8 386.3137 4/3 3/2 5/3 15/8 2/1";
static const char TUNING_SAMPLE_KBM[] =
    "! white keys, A4 at 432 "
    "Hz\n12\n0\n127\n60\n69\n432.0\n7\n0\nx\n1\nx\n2\n3\nx\n4\nx\n5\nx\n6\n";

/* FNV-1a over each key's degree, note, bend, MTS data and frequency bits. */
static uint64_t TuningSampleFold(uint64_t digest, const void *data, size_t size) {
    const unsigned char *bytes = (const unsigned char *)data;
    for (size_t i = 0; i < size; ++i) digest = (digest ^ bytes[i]) * 0x100000001b3ULL;
    return digest;
}

static uint64_t TuningSampleDigest(const MicrotuneKeyTable *table) {
    uint64_t digest = 0xcbf29ce484222325ULL;
    for (int k = 0; k < MICROTUNE_KEYS; ++k) {
        const MicrotuneKey *key = &table->keys[k];
        uint64_t hz = 0;
        memcpy(&hz, &key->hz, sizeof hz);
        const int32_t values[3] = {key->degree, key->note, key->bend};
        digest = TuningSampleFold(digest, values, sizeof values);
        digest = TuningSampleFold(digest, key->mts, sizeof key->mts);
        digest = TuningSampleFold(digest, &hz, sizeof hz);
    }
    return TuningSampleFold(digest, &table->one_one_hz, sizeof table->one_one_hz);
}

#define TUNING_SAMPLE_DIGEST 0x933da5868b9f6a43ULL

#endif
