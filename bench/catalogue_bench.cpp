// Catalogue load time for 1024 and 8192 generated stations: the per-station
// cost of the larger load against the smaller one (about 1.0 when loading is
// linear), and the station sort against the quadratic exchange procedure it
// reproduces, and the closest-station search against the same search with
// its list re-sorted in full after every change, side by side. Then the
// load and the closest-station search over the bundled catalogue (or the
// catalogue file given as the first argument), per station beside the
// 1024-station figures.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/nearest.h"
#include "literal_catalogue.h"
#include "stanvex.h"

namespace {

// Processor time of this process: the machine may be shared, and waiting
// for a processor is not the code's cost.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A catalogue of stations spread over 8 services; one in eight names is
// repeated, as when the user's file repeats the maker's stations.
std::string CatalogueText(int stations, unsigned seed) {
  std::mt19937 random(seed);
  std::string text;
  for (int s = 0; s < 8; ++s)
    text += "Service {\n ServId: SERV" + std::to_string(s) +
            "\n ftpAd: ftp.example.net\n oFile: /rinex/%y/%j/%s%j0.%yo.Z\n"
            " nFile: /rinex/%y/%j/%s%j0.%yn.Z\n Ftype: Z\n color: Blue\n}\n";
  for (int i = 0; i < stations; ++i) {
    int id = (i % 8 == 7) ? static_cast<int>(random() % static_cast<unsigned>(i)) : i;
    char name[16];
    std::snprintf(name, sizeof name, "s%03x", id % 4096);
    text += "Station {\n sName: " + std::string(name) + "\n lat: " + std::to_string(random() % 90) +
            " " + std::to_string(random() % 60) +
            " 12.5 N\n lon: " + std::to_string(random() % 180) +
            " 30 1.25 W\n ht: 123.4\n serv: serv" + std::to_string(random() % 8) + "\n}\n";
  }
  return text;
}

// Median of runs of fn, seconds.
template <typename Fn>
double Median(int runs, Fn fn) {
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    double start = CpuSeconds();
    fn();
    times.push_back(CpuSeconds() - start);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

using stanvex::testing::LiteralExchangeSort;

// The closest-station search with the whole list re-sorted by the
// quadratic exchange sort after every change, as the host contract reads.
size_t LiteralSearch(std::vector<StationRecord>& stations, double max, size_t wanted) {
  auto distanceOf = [&](size_t i) {
    stations[i].distance = stanvex::StationDistance(stations[i], 45.0, -90.0);
    return stations[i].distance;
  };
  return stanvex::testing::LiteralSearch(stations.size(), distanceOf, max, wanted).size();
}

struct Result {
  int stations;              // stations loaded
  double load;               // seconds per load
  double sort;               // seconds per SortStations
  double literal_sort;       // seconds per literal exchange sort
  double search[2];          // seconds per iFindClosestStation, 10 and 256 wanted
  double literal_search[2];  // the same with the literal list handling
};

Result Measure(const std::string& dir, const std::string& text, double latitude,
               double longitude) {
  std::string path = dir + "/manufact.dwn";
  FILE* f = std::fopen(path.c_str(), "w");
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);

  Result result{};
  std::vector<StationRecord> loaded;
  result.load = Median(7, [&] {
    Serv_Sta record{1041, 98, nullptr, nullptr, 0, 0};
    if (iInitalizeNEW(const_cast<char*>(dir.c_str()), dir.c_str(), &record) != 0) {
      char error[512];
      iGetLastError(error);
      std::fprintf(stderr, "load failed: %s\n", error);
      std::exit(1);
    }
    loaded.assign(record.pStations, record.pStations + record.iNumStations);
    result.stations = record.iNumStations;
    vClearMem(&record);
  });

  Serv_Sta catalogue{1041, 98, nullptr, nullptr, 0, 0};
  iInitalizeNEW(const_cast<char*>(dir.c_str()), dir.c_str(), &catalogue);
  const int wanted[2] = {10, 256};
  std::vector<StationRecord*> found(256);
  for (int w = 0; w < 2; ++w) {
    int32_t count = 0;
    result.search[w] =
        Median(7, [&] { iFindClosestStation(latitude, longitude, 1e8, found.data(), wanted[w], &count); });
    std::vector<StationRecord> records(catalogue.pStations,
                                       catalogue.pStations + catalogue.iNumStations);
    result.literal_search[w] =
        Median(3, [&] { LiteralSearch(records, 1e8, static_cast<size_t>(wanted[w])); });
  }
  vClearMem(&catalogue);
  // Sort the stations in their file order again: reshuffle deterministically.
  std::mt19937 random(7);
  std::shuffle(loaded.begin(), loaded.end(), random);
  result.sort = Median(7, [&] {
    std::vector<StationRecord> copy = loaded;
    Serv_Sta record{1041, 98, copy.data(), nullptr, static_cast<int32_t>(copy.size()), 0};
    stanvex::SortStations(&record);
  });
  result.literal_sort = Median(3, [&] {
    std::vector<StationRecord> copy = loaded;
    LiteralExchangeSort(copy);
  });
  return result;
}

std::string FileText(const char* path) {
  std::string text;
  if (FILE* f = std::fopen(path, "rb")) {
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
    std::fclose(f);
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const char* bundledPath = argc > 1 ? argv[1] : STANVEX_BUNDLED_CATALOGUE;
  std::string bundledText = FileText(bundledPath);
  if (bundledText.empty()) {
    std::fprintf(stderr, "cannot read the catalogue %s\n", bundledPath);
    return 1;
  }
  char pattern[] = "/tmp/stanvex_catalogue_bench_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  std::string dir = pattern;
  Result small = Measure(dir, CatalogueText(1024, 42), 45.0, -90.0);
  Result large = Measure(dir, CatalogueText(8192, 42), 45.0, -90.0);
  // A site in Colorado: the bundled catalogue's densest region.
  Result bundled = Measure(dir, bundledText, 38.8, -104.5);
  for (const char* name : {"manufact.dwn", "combined.dwn"}) std::remove((dir + "/" + name).c_str());
  rmdir(dir.c_str());

  std::printf("catalogue load (CPU, median of 7) 1024 stations   8192 stations   ratio\n");
  std::printf("  load, ms                       %13.3f   %13.3f   %5.2f\n", small.load * 1e3,
              large.load * 1e3, large.load / small.load);
  std::printf("  per station, us                %13.3f   %13.3f   %5.2f  (linear ~1.0)\n",
              small.load / 1024 * 1e6, large.load / 8192 * 1e6,
              (large.load / 8192) / (small.load / 1024));
  std::printf("station sort, CPU ms             exchange order   literal procedure   ratio\n");
  std::printf("  1024 stations                  %13.3f   %17.3f   %5.1f\n", small.sort * 1e3,
              small.literal_sort * 1e3, small.literal_sort / small.sort);
  std::printf("  8192 stations                  %13.3f   %17.3f   %5.1f\n", large.sort * 1e3,
              large.literal_sort * 1e3, large.literal_sort / large.sort);
  std::printf("closest stations, CPU ms         our list       literal list   ratio\n");
  const char* labels[2] = {"10 wanted", "256 wanted"};
  for (int w = 0; w < 2; ++w) {
    std::printf("  8192 stations, %-10s     %13.3f   %13.3f   %5.1f\n", labels[w],
                large.search[w] * 1e3, large.literal_search[w] * 1e3,
                large.literal_search[w] / large.search[w]);
  }
  std::printf("per station, CPU ns (bundled: %s)\n", bundledPath);
  std::printf("                                  stations      load   nearest 10   nearest 256\n");
  for (const Result* r : {&small, &large, &bundled}) {
    double n = r->stations;
    std::printf("  %-31s %8d %9.0f %12.1f %13.1f\n",
                r == &bundled ? "bundled catalogue" : "generated", r->stations,
                r->load / n * 1e9, r->search[0] / n * 1e9, r->search[1] / n * 1e9);
  }
  std::printf("  bundled against 1024 generated          %9.2f %12.2f %13.2f  (ratio)\n",
              (bundled.load / bundled.stations) / (small.load / small.stations),
              (bundled.search[0] / bundled.stations) / (small.search[0] / small.stations),
              (bundled.search[1] / bundled.stations) / (small.search[1] / small.stations));
  return 0;
}
