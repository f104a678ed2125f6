// Conversion of a day's RINEX observation and navigation files into its OBN,
// NVB and STA files by the converter library RIN2OBN.DLL, loaded for each
// conversion and released afterwards.
//
// Threads: the request's thread only. The library calls the two callbacks
// below from within its ConvertFile, on that same thread.
#ifndef STANVEX_CONVERT_CONVERTER_BINDING_H
#define STANVEX_CONVERT_CONVERTER_BINDING_H

#include <cstddef>
#include <cstdint>

#include "base/paths.h"
#include "base/result.h"
#include "rin2obn_api.h"

namespace stanvex {

// observationName, navigationName: the RINEX files. obnName: out, a buffer
// of obnNameSize bytes that receives the OBN name (the observation name with
// ".obn" for its extension) once the library is loaded; a name that does not
// fit fails the conversion rather than being cut. option: non-zero
// asks the converter to leave out epochs without a position solution.
// removeRinex: non-zero deletes both RINEX files after a successful
// conversion. On success status 130 is sent with the four counts; on
// failure nothing is sent.
Result ConvertRinexToObn(const char* observationName, const char* navigationName, char* obnName,
                         int option, int removeRinex, size_t obnNameSize = kPathSize);

// The same through the library of the given Windows name (tests use stand-in
// libraries to reach the binding's failure paths).
Result ConvertRinexToObnWith(const char* libraryName, const char* observationName,
                             const char* navigationName, char* obnName, int option,
                             int removeRinex, size_t obnNameSize = kPathSize);

// The library's message callback: sends code 128 with text and value (real).
void RIN2OBN_CALL OnConverterMessage(double value, const char* text);

// The library's progress callback: sends code 129 with the percentage of
// count in total, in steps of 5, when it differs from the last one sent. A
// total of 0 or less reports nothing.
void RIN2OBN_CALL OnConverterProgress(int32_t count, int32_t total);

// The percentage the binding last sent (it persists between conversions).
int32_t LastConverterPercentage();
void ResetConverterBindingForTesting();

}  // namespace stanvex

#endif  // STANVEX_CONVERT_CONVERTER_BINDING_H
