// Unix compress (.Z) encoder: LZW with 9- to 16-bit codes in block mode, the
// code size growing as the table fills and a clear code when the ratio
// falls once the table is full, packed as compress packs them (codes in
// groups of eight, a group filled out whenever the code size changes).
#ifndef STANVEX_SIM_LZW_COMPRESS_H
#define STANVEX_SIM_LZW_COMPRESS_H

#include <string>

namespace stanvex::sim {

// The .Z image of data (header included).
std::string CompressZ(const std::string& data);

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_LZW_COMPRESS_H
