// The closest-station search (iFindClosestStation) and its distance measure.
#ifndef STANVEX_CATALOGUE_NEAREST_H
#define STANVEX_CATALOGUE_NEAREST_H

#include <cstdint>
#include <vector>

#include "base/result.h"
#include "stanvex.h"

namespace stanvex {

// Metres from (latitude, longitude), decimal degrees, to station on a plane
// tangent at the station's latitude (Earth radius 6371000 m). The longitude
// difference is taken as it is, not folded into +-180 degrees. A hemisphere
// letter other than S/s or W/w counts as north or east.
double StationDistance(const StationRecord& station, double latitude, double longitude);

inline constexpr char kNearestHeading[] = "Error in iFindClosestStation";

// Sets every station's distance from (latitude, longitude) in the loaded
// catalogue and puts into found (replacing its contents) up to wanted (at
// least 1) stations within maximumDistance metres, nearest first. Fails with
// kNearestHeading, and found untouched, when no catalogue is loaded.
Result FindClosestStations(double latitude, double longitude, double maximumDistance,
                           int32_t wanted, std::vector<StationRecord*>* found);

}  // namespace stanvex

#endif  // STANVEX_CATALOGUE_NEAREST_H
