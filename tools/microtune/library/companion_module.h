// Finding the software-synthesizer companion module, where the library
// finds it: beside libmicrotune.so, then in its microtune/ folder, then by
// the dynamic loader's search. Its contract is companion/tembrel_abi.h.
#ifndef MICROTUNE_COMPANION_MODULE_H
#define MICROTUNE_COMPANION_MODULE_H

#include <string>

#include "tembrel_abi.h"

namespace mthost {

// The module as the library has already loaded it (so that its entries are
// the very instance the library calls), or null. Release with CloseCompanion.
void *LoadedCompanion();

// The module, loading it if need be, or null; `why` then says what the
// loader said. Release with CloseCompanion.
void *OpenCompanion(std::string &why);

// An entry of the module, or null.
void *CompanionEntry(void *module, const char *name);
// Releases a module from the functions above; null is ignored.
void CloseCompanion(void *module);

// The folder of libmicrotune.so, or "".
std::string LibraryDirectory();

// Any module of the host's, found as the companion is (POSIX: the MIDI
// ports module); null with `why` as for OpenCompanion.
void *OpenModuleBesideLibrary(const char *file, std::string &why);

}  // namespace mthost

#endif
