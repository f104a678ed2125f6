// Writing a file packed as a data service publishes it.
#ifndef STANVEX_SIM_PACKING_H
#define STANVEX_SIM_PACKING_H

#include <string>

#include "sim_time.h"

namespace stanvex::sim {

enum class Packing {
  kPlain,  // as is
  kZ,      // Unix compress
  kGzip,   // gzip (zlib)
  kZip,    // zip archive holding one file named innerName (minizip)
};

// Writes data to path packed as asked. innerName is the name stored in a
// zip archive; stamp dates the zip entry (so output depends only on inputs).
// False with *error when the file cannot be written.
bool WritePacked(const std::string& data, Packing packing, const std::string& path,
                 const std::string& innerName, const SimTime& stamp, std::string* error);

}  // namespace stanvex::sim

#endif  // STANVEX_SIM_PACKING_H
