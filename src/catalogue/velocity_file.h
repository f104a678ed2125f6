// PBO velocity files (EarthScope GAGE's station velocities, "PBO Velocity
// file", format version 1.1.0): a header whose field description names the
// columns, between the lines "Start Field Description" and "End Field
// Description", one name a line (Dot#, Name, Ref_epoch, ..., Ref_X, Ref_Y,
// Ref_Z, ..., first_epoch, last_epoch); a column title line starting with
// '*'; then one line per station and offset segment:
//
//    1NSU Northwestern     20231227120000 60305.5000   -293349.54058 -5420742.31309 ...
//
// A station has a line for each span between offsets (an antenna change, an
// earthquake), all with one position at the reference epoch; the span that
// ends last gives the station's current position and its last day of data.
// The 16-character Name may hold blanks: the columns after it are counted
// from the end of the line.
#ifndef STANVEX_CATALOGUE_VELOCITY_FILE_H
#define STANVEX_CATALOGUE_VELOCITY_FILE_H

#include <string>

#include "catalogue/station_lists.h"

namespace stanvex {

// True when text's first line starts a velocity file.
bool IsVelocityFile(const std::string& firstLine);

// Reads a velocity file: one station per Dot#, from its segment with the
// latest last_epoch (the later line when two end together). A line that
// cannot be used (a Dot# that is not 4 letters or digits, too few fields, a
// non-finite coordinate, a point off the earth's surface, a last_epoch that
// is not a date, a NUL byte, more than 4096 characters) is left out and
// named in problems; a header without the fields needed refuses the file.
ListedStations ParseVelocityFile(const std::string& text);

}  // namespace stanvex

#endif  // STANVEX_CATALOGUE_VELOCITY_FILE_H
