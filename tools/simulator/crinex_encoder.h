// Compact RINEX 1.0 encoder: turns a RINEX 2 observation file into its
// compact form (text differences of epoch lines and flags, integer
// differences of the clock offset and of every observation value).
#ifndef STANVEX_SIM_CRINEX_ENCODER_H
#define STANVEX_SIM_CRINEX_ENCODER_H

#include <string>

namespace stanvex::sim {

struct CrinexOptions {
  int data_order = 3;   // order of the differences of observation values (0-5)
  int clock_order = 2;  // order of the differences of the receiver clock (0-5)
  // Text of the "CRINEX PROG / DATE" line's date field (15 characters).
  std::string date = "01-Jan-80 00:00";
};

// Encodes rinex (a whole RINEX 2 observation file) into *compact. False
// with *error naming the line when the input is not RINEX 2 observation
// text the format can carry (more than 30 satellites in an epoch, more than
// 9 observation types, a value outside the format's range).
bool EncodeCompactRinex(const std::string& rinex, std::string* compact, std::string* error,
                        const CrinexOptions& options = CrinexOptions());

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_CRINEX_ENCODER_H
