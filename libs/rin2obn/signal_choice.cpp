#include "signal_choice.h"

namespace rin2obn {
namespace {

enum Slot { kL1Phase = 0, kL2Phase = 1, kL1Range = 2, kL2Range = 3 };

// Signals in order of preference; a null ends a shorter list. Range slots
// mirror the phase slots with the letter C.
const char* const kCandidateCodes[SignalChoice::kSlots][SignalChoice::kCandidates] = {
    {"L1C", "L1W", "L1P", nullptr},
    {"L2W", "L2P", "L2Y", "L2L", "L2S", "L2X", "L2D", "L2C"},
    {"C1C", "C1W", "C1P", nullptr},
    {"C2W", "C2P", "C2Y", "C2L", "C2S", "C2X", "C2D", "C2C"},
};

int PositionOf(const std::vector<std::string>& types, const std::string& code) {
  for (size_t i = 0; i < types.size(); ++i)
    if (types[i] == code) return static_cast<int>(i);
  return -1;
}

}  // namespace

void SignalChoice::Resolve(const ObsHeader& header) {
  const std::vector<std::string>& types = header.TypesOf('G');
  if (resolved_ && types == resolvedTypes_) return;
  resolvedTypes_ = types;
  resolved_ = true;
  for (int slot = 0; slot < kSlots; ++slot) {
    for (int c = 0; c < kCandidates; ++c) {
      const char* code = kCandidateCodes[slot][c];
      positions_[slot][c] = code == nullptr ? -1 : PositionOf(types, code);
      std::string strength = code == nullptr ? std::string() : std::string(code);
      if (!strength.empty()) strength[0] = 'S';
      strengthPositions_[slot][c] = strength.empty() ? -1 : PositionOf(types, strength);
    }
  }
}

void SignalChoice::Count(const ObsHeader& header, const ObsEpoch& epoch) {
  Resolve(header);
  for (int s = 0; s < epoch.SatelliteCount(); ++s) {
    const int prn = epoch.prns[static_cast<size_t>(s)];
    if (epoch.systems[static_cast<size_t>(s)] != 'G' || prn < 1 || prn > kMaxPrn) continue;
    for (int slot = 0; slot < kSlots; ++slot)
      for (int c = 0; c < kCandidates; ++c)
        if (positions_[slot][c] >= 0 && epoch.Value(s, positions_[slot][c]) != 0.0)
          ++counts_[prn][slot][c];
  }
}

void SignalChoice::Choose() {
  for (int prn = 0; prn <= kMaxPrn; ++prn) {
    for (int slot = 0; slot < kSlots; ++slot) {
      long most = 0;
      for (int c = 0; c < kCandidates; ++c)
        most = counts_[prn][slot][c] > most ? counts_[prn][slot][c] : most;
      chosen_[prn][slot] = -1;
      for (int c = 0; c < kCandidates && most > 0; ++c) {
        if (2 * counts_[prn][slot][c] >= most) {
          chosen_[prn][slot] = c;
          break;
        }
      }
    }
  }
  haveChoice_ = true;
}

std::string SignalChoice::ChosenCode(int prn, int slot) const {
  if (!haveChoice_ || prn < 0 || prn > kMaxPrn || slot < 0 || slot >= kSlots) return std::string();
  const int c = chosen_[prn][slot];
  return c < 0 ? std::string() : std::string(kCandidateCodes[slot][c]);
}

std::string SignalChoice::MostChosenCode(int slot) const {
  if (!haveChoice_ || slot < 0 || slot >= kSlots) return std::string();
  int satellites[kCandidates] = {};
  for (int prn = 1; prn <= kMaxPrn; ++prn)
    if (chosen_[prn][slot] >= 0) ++satellites[chosen_[prn][slot]];
  int best = -1;
  for (int c = 0; c < kCandidates; ++c)
    if (satellites[c] > 0 && (best < 0 || satellites[c] > satellites[best])) best = c;
  return best < 0 ? std::string() : std::string(kCandidateCodes[slot][best]);
}

SlotSignals SignalChoice::For(const ObsHeader& header, int prn) {
  SlotSignals signals;
  if (!haveChoice_ || prn < 1 || prn > kMaxPrn) return signals;
  Resolve(header);
  const int* chosen = chosen_[prn];
  auto position = [&](int slot) { return chosen[slot] < 0 ? -1 : positions_[slot][chosen[slot]]; };
  auto strength = [&](int slot) {
    return chosen[slot] < 0 ? -1 : strengthPositions_[slot][chosen[slot]];
  };
  signals.l1Phase = position(kL1Phase);
  signals.l2Phase = position(kL2Phase);
  signals.l1Range = position(kL1Range);
  signals.l2Range = position(kL2Range);
  // The strength of the tracked signal: the phase's, else the range's.
  signals.l1Strength = strength(kL1Phase) >= 0 ? strength(kL1Phase) : strength(kL1Range);
  signals.l2Strength = strength(kL2Phase) >= 0 ? strength(kL2Phase) : strength(kL2Range);
  signals.l1RangeIsP = chosen[kL1Range] > 0;
  return signals;
}

}  // namespace rin2obn
