// Parsing of combined.dwn into station and service records, their order and
// their links.
#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "api/library_state.h"
#include "catalogue/block_reader.h"
#include "catalogue/catalogue.h"
#include "catalogue/exchange_order.h"
#include "catalogue/text_compare.h"

namespace stanvex {

namespace {

// The icon names "dnld_" + color + "_serv_icon" must fit their 32 bytes.
constexpr size_t kMaxColorLength = 16;

double Degrees(float degrees, float minutes, float seconds, char hemisphere, char negative) {
  double value = seconds * (1.0 / 3600.0) + minutes * (1.0 / 60.0) + degrees;
  if (std::tolower(static_cast<unsigned char>(hemisphere)) == negative) value = -value;
  return value;
}

bool ParseStation(TextBlock* block, StationRecord* station) {
  if (GetBlockField("sName:", block, "%7s", station->sName) < 1) return false;
  if (GetBlockField("lat:", block, "%f%f%f%c", &station->latDeg, &station->latMin, &station->latSec,
                    &station->latHem) < 1)
    return false;
  if (GetBlockField("lon:", block, "%f%f%f%c", &station->lonDeg, &station->lonMin, &station->lonSec,
                    &station->lonHem) < 1)
    return false;
  if (GetBlockField("ht:", block, "%f", &station->ht) < 1) return false;
  if (GetBlockField("serv:", block, "%31s", station->serv) < 1) return false;
  station->lat = Degrees(station->latDeg, station->latMin, station->latSec, station->latHem, 's');
  station->lon = Degrees(station->lonDeg, station->lonMin, station->lonSec, station->lonHem, 'w');
  station->height = station->ht;
  return true;
}

bool ParseService(TextBlock* block, ServiceRecord* service) {
  if (GetBlockField("ServId:", block, "%31s", service->ServId) < 1) return false;
  char address[kBlockValueSize];
  if (GetBlockField("ftpAd:", block, "%s", address) < 1) return false;
  // A cut address would name another server: an address that does not fit
  // leaves the service without one, and a request through it is refused.
  if (strnlen(address, sizeof address) < sizeof service->ftpAd)
    CopyText(service->ftpAd, sizeof service->ftpAd, address);
  else
    ReportOverlongAddress(*service);
  if (GetBlockField("oFile:", block, "%255s", service->oFile) < 1) return false;
  if (GetBlockField("nFile:", block, "%255s", service->nFile) < 1) return false;
  service->hasDFile = GetBlockField("dFile:", block, "%255s", service->dFile) > 0 ? 1 : 0;
  if (GetBlockField("Ftype:", block, "%4s", service->Ftype) < 1) return false;
  char color[kBlockValueSize];
  if (GetBlockField("color:", block, "%s", color) < 1) CopyText(color, sizeof color, "magenta");
  color[kMaxColorLength] = '\0';
  for (char* c = color; *c != '\0'; ++c)
    *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  CopyText(service->color, sizeof service->color, color);
  CopyText(service->servIcon, sizeof service->servIcon, "dnld_");
  AppendText(service->servIcon, sizeof service->servIcon, color);
  AppendText(service->servIcon, sizeof service->servIcon, "_serv_icon");
  CopyText(service->staIcon, sizeof service->staIcon, "dnld_");
  AppendText(service->staIcon, sizeof service->staIcon, color);
  AppendText(service->staIcon, sizeof service->staIcon, "_sta_icon");
  return true;
}

// Reads every block of file into the records of array (count slots). A
// block that lacks a required key leaves its slot to the next block; a slot
// is cleared before each block so that nothing of a skipped block remains.
template <typename Record, typename Parse>
void ParseAll(FILE* file, Record* array, int32_t count, Parse parse) {
  std::unique_ptr<TextBlock> block(new TextBlock);
  int32_t filled = 0;
  while (filled < count && ReadBlock(file, block.get()) == 0) {
    std::memset(&array[filled], 0, sizeof(Record));
    if (parse(block.get(), &array[filled])) ++filled;
  }
  for (int32_t i = filled; i < count; ++i) std::memset(&array[i], 0, sizeof(Record));
  std::rewind(file);
}

std::string Folded(const char* text, size_t size) {
  std::string folded(text, strnlen(text, size));
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded;
}

void Reorder(StationRecord* stations, const std::vector<int32_t>& order, size_t first) {
  std::vector<StationRecord> moved(order.size());
  for (size_t i = 0; i < order.size(); ++i)
    moved[i] = stations[first + static_cast<size_t>(order[i])];
  std::memcpy(stations + first, moved.data(), moved.size() * sizeof(StationRecord));
}

}  // namespace

int CountBlocks(FILE* file, const char* keyword) {
  std::unique_ptr<TextBlock> block(new TextBlock);
  int count = 0;
  while (ReadBlock(file, block.get()) == 0)
    if (FoldedCompare(block->name, keyword, kBlockKeySize) == 0) ++count;
  std::rewind(file);
  return count;
}

void ParseStations(FILE* file, Serv_Sta* catalogue) {
  ParseAll(file, catalogue->pStations, catalogue->iNumStations, ParseStation);
}

void ParseServices(FILE* file, Serv_Sta* catalogue) {
  ParseAll(file, catalogue->pServices, catalogue->iNumServices, ParseService);
}

// Two exchange sorts: by serv over all stations, then by sName among the
// stations of one serv (contiguous after the first). Keys are folded once;
// records move once per pass.
void SortStations(Serv_Sta* catalogue) {
  StationRecord* stations = catalogue->pStations;
  int32_t count = catalogue->iNumStations;
  if (stations == nullptr || count < 2) return;
  size_t n = static_cast<size_t>(count);

  std::vector<std::string> serv(n);
  for (size_t i = 0; i < n; ++i) serv[i] = Folded(stations[i].serv, sizeof stations[i].serv);
  std::vector<int32_t> rank = RanksOf(count, [&](int32_t a, int32_t b) {
    return serv[static_cast<size_t>(a)] < serv[static_cast<size_t>(b)];
  });
  std::vector<int32_t> order = ExchangeOrder(rank);
  Reorder(stations, order, 0);

  size_t start = 0;
  while (start < n) {
    const std::string& key = serv[static_cast<size_t>(order[start])];
    size_t end = start + 1;
    while (end < n && serv[static_cast<size_t>(order[end])] == key) ++end;
    if (end - start > 1) {
      std::vector<std::string> names(end - start);
      for (size_t i = start; i < end; ++i)
        names[i - start] = Folded(stations[i].sName, sizeof stations[i].sName);
      std::vector<int32_t> name_rank =
          RanksOf(static_cast<int32_t>(end - start), [&](int32_t a, int32_t b) {
            return names[static_cast<size_t>(a)] < names[static_cast<size_t>(b)];
          });
      Reorder(stations, ExchangeOrder(name_rank), start);
    }
    start = end;
  }
}

void LinkServices(Serv_Sta* catalogue) {
  if (catalogue->pServices == nullptr) return;
  for (int32_t s = 0; s < catalogue->iNumServices; ++s) {
    ServiceRecord& service = catalogue->pServices[s];
    service.stationCount = 0;
    for (int32_t i = 0; catalogue->pStations != nullptr && i < catalogue->iNumStations; ++i) {
      if (FoldedCompare(catalogue->pStations[i].serv, service.ServId, sizeof service.ServId) != 0)
        continue;
      if (service.stationCount == 0) service.firstStation = i;
      ++service.stationCount;
    }
  }
}

}  // namespace stanvex
