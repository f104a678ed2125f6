// Compact RINEX encoders: version 1.0 turns a RINEX 2 observation file into
// its compact form (text differences of epoch lines and flags, integer
// differences of the clock offset and of every observation value); version
// 3.0 does the same for RINEX 3 and 4 observation files, whose epoch line
// carries the satellite list from column 42 and whose satellites have as
// many observation types as their system's SYS / # / OBS TYPES lines say.
#ifndef STANVEX_SIM_CRINEX_ENCODER_H
#define STANVEX_SIM_CRINEX_ENCODER_H

#include <string>

namespace stanvex::sim {

struct CrinexOptions {
  int dataOrder = 3;   // order of the differences of observation values (0-5)
  int clockOrder = 2;  // order of the differences of the receiver clock (0-5)
  // Text of the "CRINEX PROG / DATE" line's date field (15 characters).
  std::string date = "01-Jan-80 00:00";
};

// Encodes rinex (a whole RINEX 2 observation file) into *compact. False
// with *error naming the line when the input is not RINEX 2 observation
// text the format can carry (more than 30 satellites in an epoch, more than
// 9 observation types, a value outside the format's range).
bool EncodeCompactRinex(const std::string& rinex, std::string* compact, std::string* error,
                        const CrinexOptions& options = CrinexOptions());

// Encodes rinex (a whole RINEX 3 or 4 observation file) into compact RINEX
// 3.0. The clock offset is differenced in units of 10^-12 s. False with
// *error naming the line for input the format cannot carry (a satellite of
// a system without observation types, cycle slip records, a value outside
// the format's range).
bool EncodeCompactRinex3(const std::string& rinex, std::string* compact, std::string* error,
                         const CrinexOptions& options = CrinexOptions());

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_CRINEX_ENCODER_H
