// Carrier-smoothed pseudoranges (Hatch filter) per GPS satellite. The phase
// follows the range change with millimetre noise, so averaging code minus
// phase over an arc takes most of the code noise out of each epoch's range.
// Dual-frequency ranges are smoothed as the ionosphere-free combination with
// the ionosphere-free phase (no divergence, long window); L1-only ranges with
// the L1 phase over a short window, as the ionosphere moves code and phase
// apart.
#ifndef STANVEX_RIN2OBN_CARRIER_SMOOTHING_H
#define STANVEX_RIN2OBN_CARRIER_SMOOTHING_H

#include <cstdint>
#include <vector>

namespace rin2obn {

struct SmoothingInput {
  int prn = 0;
  double p1 = 0.0, p2 = 0.0;  // metres; 0 when missing (p2 only P2)
  double l1 = 0.0, l2 = 0.0;  // cycles; 0 when missing
  bool l1Slip = false, l2Slip = false;  // loss-of-lock indicators
};

struct SmoothedRanges {
  double ionoFree = 0.0;  // smoothed ionosphere-free range, 0 when none
  double l1 = 0.0;        // smoothed L1 range, 0 when none
};

class CarrierSmoother {
 public:
  // Smooths the ranges of one satellite at GPS time t. Call once per
  // satellite and epoch, in time order.
  SmoothedRanges Update(double t, const SmoothingInput& in);
  void Reset() { arcs_.clear(); }

  // One satellite's run of continuous phase on one combination.
  struct Arc {
    bool active = false;
    double lastTime = 0.0;
    int count = 0;
    double smoothed = 0.0;
    double lastPhase = 0.0;
    double lastGeometryFree = 0.0;
  };

 private:
  struct State {
    Arc ionoFree;
    Arc l1;
  };
  std::vector<State> arcs_;
};

}  // namespace rin2obn

#endif  // STANVEX_RIN2OBN_CARRIER_SMOOTHING_H
