// Distance measure of the closest-station search.
#ifndef STANVEX_CATALOGUE_NEAREST_H
#define STANVEX_CATALOGUE_NEAREST_H

#include "stanvex.h"

namespace stanvex {

// Metres from (latitude, longitude), decimal degrees, to station on a plane
// tangent at the station's latitude (Earth radius 6371000 m). The longitude
// difference is taken as it is, not folded into +-180 degrees. A hemisphere
// letter other than S/s or W/w counts as north or east.
double StationDistance(const StationRecord& station, double latitude, double longitude);

}  // namespace stanvex

#endif  // STANVEX_CATALOGUE_NEAREST_H
