// stanvex fetch --nearest N: the N stations nearest to a position that have
// data for the window, each retrieved by this program run again for that
// one station (fetch --station), side by side.
#ifndef STANVEX_TOOLS_NEAREST_FETCH_H
#define STANVEX_TOOLS_NEAREST_FETCH_H

#include <string>
#include <vector>

namespace stanvex::cli {

struct NearestFetchRequest {
  int count = 0;  // N
  double latitude = 0;
  double longitude = 0;
  double maxKm = 100;
  int jobs = 3;  // retrievals at once
  std::string catalogue;
  std::string service;  // only this service's stations, when given
  std::string from;
  std::string to;
  std::string destination;
  // The options handed on to each station's fetch as given (--interval,
  // --append, --keep-rinex, --drop-unsolved).
  std::vector<std::string> passedOn;
  double interval = 0;  // > 0: the interval asked (it chooses 15-minute files)
  std::string user;
  bool passwordGiven = false;
  std::string password;
  std::string passwordFile;
  bool quiet = false;
};

// Takes the stations in order of distance; each one's retrieval starts at
// once (at most `jobs` at a time) while the availability of its window is
// asked beside it: a station without data for a day is stopped and skipped,
// with the reason. Another starts until N stations are delivered or none is
// left. A login goes only to the stations LoginGoesTo names, through a file
// in the private folder (never on a command line). Every station's working
// files live in one private folder, removed on every way out (Ctrl-C or
// SIGTERM stops every retrieval first); only files a retrieval could not
// deliver keep it, named. Throws CommandFailure when fewer than N were
// delivered.
void RunNearestFetch(const NearestFetchRequest& request);

}  // namespace stanvex::cli

#endif  // STANVEX_TOOLS_NEAREST_FETCH_H
