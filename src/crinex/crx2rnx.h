// Decoding of compact RINEX (version 1.0) files into RINEX 2 observation files.
#ifndef STANVEX_CRINEX_CRX2RNX_H
#define STANVEX_CRINEX_CRX2RNX_H

#include <cstdint>

namespace stanvex {

// compactName: the compact RINEX file to read; rinexName: the RINEX file to
// create (or empty). Both names are used as given, relative names resolving
// in the process current directory. Returns 0 on success, or -1 with the
// reason in LastErrorText; the output then holds what was written before the
// failure. Sends nothing to the status callback.
//
// Threads: the decoder's state is the library's; one decoding at a time, run
// to its end on the caller's thread.
int32_t Crx2Rnx(const char* compactName, const char* rinexName);

}  // namespace stanvex

#endif  // STANVEX_CRINEX_CRX2RNX_H
