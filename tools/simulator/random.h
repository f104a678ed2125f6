// A small deterministic random source: the same seed gives the same numbers
// on every platform and standard library (std::normal_distribution does not).
#ifndef STANVEX_SIM_RANDOM_H
#define STANVEX_SIM_RANDOM_H

#include <cmath>
#include <cstdint>
#include <string>

namespace stanvex::sim {

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}

  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1).
  double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
  double Uniform(double low, double high) { return low + (high - low) * Uniform(); }
  // Uniform integer in [low, high].
  int64_t Integer(int64_t low, int64_t high) {
    return low + static_cast<int64_t>(Next() % static_cast<uint64_t>(high - low + 1));
  }
  // Standard normal (Box-Muller, one value per call).
  double Gaussian() {
    double u = Uniform();
    if (u < 1e-300) u = 1e-300;
    return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * Uniform());
  }

 private:
  uint64_t state_;
};

// Mixes a seed with a text (a station name) into a new seed.
inline uint64_t MixSeed(uint64_t seed, const std::string& text) {
  uint64_t h = seed ^ 0xcbf29ce484222325ull;
  for (unsigned char c : text) h = (h ^ c) * 0x100000001b3ull;
  return Random(h).Next();
}

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_RANDOM_H
