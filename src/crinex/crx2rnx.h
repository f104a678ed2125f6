// Decoding of compact RINEX (version 1.0) files into RINEX 2 observation files.
#ifndef STANVEX_CRINEX_CRX2RNX_H
#define STANVEX_CRINEX_CRX2RNX_H

#include "base/result.h"

namespace stanvex {

// compactName: the compact RINEX file to read; rinexName: the RINEX file to
// create (or empty). Both names are used as given, relative names resolving
// in the process current directory. On failure the output holds what was
// written before it. Sends nothing to the status callback.
//
// Threads: the decoder's state is the library's; one decoding at a time, run
// to its end on the caller's thread.
Result Crx2Rnx(const char* compactName, const char* rinexName);

}  // namespace stanvex

#endif  // STANVEX_CRINEX_CRX2RNX_H
