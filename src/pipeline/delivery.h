// Delivery of a request's result (an OBN file and its ".nvb" and ".sta"
// companions with the same base name) from the working directory to the
// host's destination directory. A delivery places all three files or none:
// on any failure the destination is left as it was and the three files stay
// in the working directory, whose path the failure text names ("Error unable
// to move files to destination directory. Files are still in the temp
// directory " + directory + " (" + what failed and why: "unable to write
// PATH: disk full", "... read-only file system" + ")").
#ifndef STANVEX_PIPELINE_DELIVERY_H
#define STANVEX_PIPELINE_DELIVERY_H

#include "base/result.h"

namespace stanvex {

// name: in/out, a kPathSize buffer with the output file name in
// workingFolder; its extension is set to ".obn" first.
// destination: the destination directory without a trailing separator.
// deliveredPath: null, or a kPathSize buffer that receives the destination
// path of the delivered OBN file.
// Fails with the reason (no heading). Sends no status.

// Replaces files of the same name in the destination.
Result DeliverCopyOver(char* name, const char* workingFolder, const char* destination,
                       char* deliveredPath);

// Keeps existing files: the OBN file takes the first free name of name,
// nameA, nameB, ... nameY (before the extension) and never replaces a file;
// its companions take the same base name and replace existing files. When
// none of the 26 names is free, nothing is moved and the delivery fails.
Result DeliverAppend(char* name, const char* workingFolder, const char* destination,
                     char* deliveredPath);

// name: in/out, a text of at most 254 characters with an extension. Attempt
// 0 replaces the extension by "A.obn"; attempts 1..25 change the character
// just before the last dot to 'A' + attempt. A name without a dot is left
// unchanged.
void MakeAlternateName(char* name, int attempt);

}  // namespace stanvex

#endif  // STANVEX_PIPELINE_DELIVERY_H
