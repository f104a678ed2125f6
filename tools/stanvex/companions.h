// The NVB and STA companions of the OBN files the OBN commands write: an
// output OBN file gets them beside it whenever its input had them.
#ifndef STANVEX_TOOLS_COMPANIONS_H
#define STANVEX_TOOLS_COMPANIONS_H

#include <string>
#include <vector>

namespace stanvex::cli {

// The companion extensions, in the order they are handled.
extern const char* const kCompanionExtensions[2];

// path with its extension (from the last dot of its last component)
// replaced by extension; appended when it has none.
std::string CompanionOf(const std::string& path, const char* extension);

// Writes the companions of output from those of inputs, for each extension
// that at least one input has: a copy for one input, the inputs' lines in
// order for several (as the daily files of a retrieval are joined). Throws
// CommandFailure when one cannot be written.
void WriteCompanions(const std::vector<std::string>& inputs, const std::string& output);

}  // namespace stanvex::cli

#endif  // STANVEX_TOOLS_COMPANIONS_H
