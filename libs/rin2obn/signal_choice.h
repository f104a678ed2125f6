// The RINEX 3 and 4 signal that fills each measurement slot of a GPS
// satellite's OBN record, chosen once per file (the table of preferences is
// in rin2obn_api.h). Choosing once per file means a receiver that switches
// between signals of one frequency leaves a slot empty for a while rather
// than showing a jump that would read as a cycle slip.
//
// Usage: Count() every epoch of the file, Choose() once, then For() per
// satellite while the file is read again.
#ifndef STANVEX_RIN2OBN_SIGNAL_CHOICE_H
#define STANVEX_RIN2OBN_SIGNAL_CHOICE_H

#include <string>
#include <vector>

#include "rinex_obs.h"

namespace rin2obn {

// Positions of one satellite's chosen signals in the header's GPS type
// list; -1 when the slot has none.
struct SlotSignals {
  int l1Phase = -1, l2Phase = -1;
  int l1Range = -1, l2Range = -1;
  int l1Strength = -1, l2Strength = -1;
  bool l1RangeIsP = false;  // the L1 range is C1W or C1P
};

class SignalChoice {
 public:
  static constexpr int kMaxPrn = 32;
  static constexpr int kSlots = 4;       // L1 phase, L2 phase, L1 range, L2 range
  static constexpr int kCandidates = 8;  // signals per slot at most

  // Adds the GPS values of one epoch read with header.
  void Count(const ObsHeader& header, const ObsEpoch& epoch);
  // Takes, per satellite and slot, the first signal in order of preference
  // that carries at least half as many values as the slot's most frequent
  // one, so a signal seen only now and then does not empty the slot.
  void Choose();
  // The chosen signals of prn as positions in header's GPS list.
  SlotSignals For(const ObsHeader& header, int prn);

  // The code chosen for prn and slot (0-3 as above), empty when none.
  std::string ChosenCode(int prn, int slot) const;
  // The code chosen for the most satellites in slot, empty when none.
  std::string MostChosenCode(int slot) const;

 private:
  // Positions of every candidate in the header's GPS list, kept while the
  // list stays the same.
  void Resolve(const ObsHeader& header);

  long counts_[kMaxPrn + 1][kSlots][kCandidates] = {};
  int chosen_[kMaxPrn + 1][kSlots] = {};
  bool haveChoice_ = false;
  std::vector<std::string> resolvedTypes_;
  int positions_[kSlots][kCandidates] = {};
  int strengthPositions_[kSlots][kCandidates] = {};  // the S code of each phase or range signal
  bool resolved_ = false;
};

}  // namespace rin2obn

#endif  // STANVEX_RIN2OBN_SIGNAL_CHOICE_H
