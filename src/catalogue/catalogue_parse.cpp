// Parsing of combined.dwn into station and service records, their order and
// their links.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/block_reader.h"
#include "base/status_channel.h"
#include "base/text.h"
#include "base/text_compare.h"
#include "catalogue/catalogue.h"
#include "catalogue/exchange_order.h"

namespace stanvex {

namespace {

// The icon names "dnld_" + color + "_serv_icon" must fit their 32 bytes.
constexpr size_t kMaxColorLength = 16;

double Degrees(float degrees, float minutes, float seconds, char hemisphere, char negative) {
  double value = seconds * (1.0 / 3600.0) + minutes * (1.0 / 60.0) + degrees;
  if (std::tolower(static_cast<unsigned char>(hemisphere)) == negative) value = -value;
  return value;
}

// The values of the first entry whose key equals key (no case), read
// straight from the block so that GetBlockField's fetch of the same entry is
// not disturbed; null when the block has none.
const BlockEntry* FindEntry(const TextBlock* block, const char* key) {
  for (int32_t i = 0; i < block->count && i < kBlockMaxEntries; ++i)
    if (FoldedCompare(block->entries[i].key, key, kBlockKeySize) == 0) return &block->entries[i];
  return nullptr;
}

// A value as the reader stores it, without the quotes GetBlockField removes.
std::string Unquoted(const char* value) {
  std::string text(value, strnlen(value, kBlockValueSize));
  text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
  return text;
}

void Report(const std::string& text) { FrameSend(STATUS_TEXT, text.c_str()); }

void ReadLongName(const TextBlock* block, const StationRecord* station, StationExtras* extras) {
  std::memset(extras, 0, sizeof *extras);
  const BlockEntry* entry = FindEntry(block, "lName:");
  if (entry == nullptr || entry->valueCount < 1) return;
  std::string name = Unquoted(entry->values[0]);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (!IsValidLongName(name.c_str())) {
    Report("Station " + std::string(station->sName, strnlen(station->sName, sizeof station->sName)) +
           ": long name ignored, 9 letters or digits expected: " + name.substr(0, 64));
    return;
  }
  CopyText(extras->longName, sizeof extras->longName, name.c_str());
}

// Every "ftpAd:" entry adds its addresses, so a list longer than a line goes
// on in another entry; the first value of the first entry is the service's
// ftpAd itself.
void ReadMirrors(const TextBlock* block, const ServiceRecord* service, ServiceExtras* extras) {
  *extras = ServiceExtras{};
  std::string id(service->ServId, strnlen(service->ServId, sizeof service->ServId));
  int32_t first = 1;
  for (int32_t e = 0; e < block->count && e < kBlockMaxEntries; ++e) {
    const BlockEntry* entry = &block->entries[e];
    if (FoldedCompare(entry->key, "ftpAd:", kBlockKeySize) != 0) continue;
    for (int32_t i = first; i < entry->valueCount && i < kBlockMaxValues; ++i) {
      std::string address = Unquoted(entry->values[i]);
      if (address.empty()) continue;
      if (address.size() >= kAddressSize) {
        Report("Service " + id + ": address longer than 127 characters ignored: " +
               address.substr(0, 64) + "...");
        continue;
      }
      extras->mirrors.push_back(address);
    }
    first = 0;
  }
}

// The sub-daily templates: the first value of each key, as the record's
// own templates take theirs. A cut template would name other files, so one
// that does not fit is left out.
void ReadSubDailyTemplates(const TextBlock* block, const ServiceRecord* service,
                           ServiceExtras* extras) {
  const struct {
    const char* key;
    char* field;
  } keys[] = {{"hFile:", extras->hourlyFile},
              {"qFile:", extras->quarterFile},
              {"hnFile:", extras->rollingNavFile}};
  std::string id(service->ServId, strnlen(service->ServId, sizeof service->ServId));
  for (const auto& each : keys) {
    each.field[0] = '\0';
    const BlockEntry* entry = FindEntry(block, each.key);
    if (entry == nullptr || entry->valueCount < 1) continue;
    std::string value = Unquoted(entry->values[0]);
    if (value.size() >= kServiceTemplateSize) {
      Report("Service " + id + ": " + each.key + " longer than 255 characters ignored: " +
             value.substr(0, 64) + "...");
      continue;
    }
    CopyText(each.field, kServiceTemplateSize, value.c_str());
  }
}

// "auth: bearer": the service's logins are bearer tokens. The only kind
// known; another is reported and the service keeps its ordinary logins.
void ReadAuthKind(const TextBlock* block, const ServiceRecord* service, ServiceExtras* extras) {
  extras->bearerToken = false;
  const BlockEntry* entry = FindEntry(block, "auth:");
  if (entry == nullptr || entry->valueCount < 1) return;
  std::string kind = Unquoted(entry->values[0]);
  if (FoldedCompare(kind.c_str(), "bearer", kBlockValueSize) == 0) {
    extras->bearerToken = true;
    return;
  }
  std::string id(service->ServId, strnlen(service->ServId, sizeof service->ServId));
  Report("Service " + id + ": auth: " + kind.substr(0, 64) +
         " is not known (bearer is), ignored");
}

void ReadServiceExtras(const TextBlock* block, const ServiceRecord* service,
                       ServiceExtras* extras) {
  ReadMirrors(block, service, extras);
  ReadSubDailyTemplates(block, service, extras);
  ReadAuthKind(block, service, extras);
}

// Copies value into field; a value that does not fit is cut, and reported
// for the block of kind ("Station", "Service") whose name is subject.
template <size_t N>
void CopyReported(char (&field)[N], const char* value, const char* kind, const char* subject,
                  const std::string& place, const char* key) {
  CopyText(field, N, value);
  if (strnlen(value, N) == N) ReportCutValue(kind, subject, place, key, N - 1, field);
}

bool ParseStation(TextBlock* block, StationRecord* station, const std::string& place) {
  char name[kBlockValueSize];
  if (GetBlockField("sName:", block, "%s", name) < 1) return false;
  if (GetBlockField("lat:", block, "%f%f%f%c", &station->latDeg, &station->latMin, &station->latSec,
                    &station->latHem) < 1)
    return false;
  if (GetBlockField("lon:", block, "%f%f%f%c", &station->lonDeg, &station->lonMin, &station->lonSec,
                    &station->lonHem) < 1)
    return false;
  if (GetBlockField("ht:", block, "%f", &station->ht) < 1) return false;
  char serv[kBlockValueSize];
  if (GetBlockField("serv:", block, "%s", serv) < 1) return false;
  CopyReported(station->sName, name, "Station", name, place, "sName");
  CopyReported(station->serv, serv, "Station", name, place, "serv");
  station->lat = Degrees(station->latDeg, station->latMin, station->latSec, station->latHem, 's');
  station->lon = Degrees(station->lonDeg, station->lonMin, station->lonSec, station->lonHem, 'w');
  station->height = station->ht;
  return true;
}

bool ParseService(TextBlock* block, ServiceRecord* service, const std::string& place) {
  char id[kBlockValueSize];
  if (GetBlockField("ServId:", block, "%s", id) < 1) return false;
  char address[kBlockValueSize];
  if (GetBlockField("ftpAd:", block, "%s", address) < 1) return false;
  if (GetBlockField("oFile:", block, "%255s", service->oFile) < 1) return false;
  if (GetBlockField("nFile:", block, "%255s", service->nFile) < 1) return false;
  service->hasDFile = GetBlockField("dFile:", block, "%255s", service->dFile) > 0 ? 1 : 0;
  char type[kBlockValueSize];
  if (GetBlockField("Ftype:", block, "%s", type) < 1) return false;
  char color[kBlockValueSize];
  if (GetBlockField("color:", block, "%s", color) < 1) CopyText(color, sizeof color, "magenta");
  for (char* c = color; *c != '\0'; ++c)
    *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));

  CopyReported(service->ServId, id, "Service", id, place, "ServId");
  // A cut address would name another server: an address that does not fit
  // leaves the service without one, and a request through it is refused.
  if (strnlen(address, sizeof address) < sizeof service->ftpAd)
    CopyText(service->ftpAd, sizeof service->ftpAd, address);
  else
    ReportOverlongAddress(*service, place);
  CopyReported(service->Ftype, type, "Service", id, place, "Ftype");
  char kept[kMaxColorLength + 1];
  CopyReported(kept, color, "Service", id, place, "color");
  CopyText(service->color, sizeof service->color, kept);
  CopyText(service->servIcon, sizeof service->servIcon, "dnld_");
  AppendText(service->servIcon, sizeof service->servIcon, kept);
  AppendText(service->servIcon, sizeof service->servIcon, "_serv_icon");
  CopyText(service->staIcon, sizeof service->staIcon, "dnld_");
  AppendText(service->staIcon, sizeof service->staIcon, kept);
  AppendText(service->staIcon, sizeof service->staIcon, "_sta_icon");
  return true;
}

// Reads every block of file into the records of array (count slots). A
// block that lacks a required key leaves its slot to the next block; a block
// with an over-long line is passed over (CountBlocks does not count it). A
// slot is cleared before each block so that nothing of a skipped block
// remains. extras, when given, get one entry per slot from readExtras(block,
// record, entry) for each filled record, zeroed for the rest.
template <typename Record, typename Parse, typename Extras, typename ReadExtras>
void ParseAll(FILE* file, Record* array, int32_t count, Parse parse, std::vector<Extras>* extras,
              ReadExtras readExtras, const CatalogueOrigin& origin) {
  std::unique_ptr<TextBlock> block(new TextBlock);
  if (extras != nullptr) extras->assign(static_cast<size_t>(count < 0 ? 0 : count), Extras{});
  BlockSource source(file);
  int32_t filled = 0;
  while (filled < count && ReadBlock(&source, block.get()).ok) {
    if (block->longLine != 0) continue;
    std::memset(&array[filled], 0, sizeof(Record));
    if (parse(block.get(), &array[filled], DescribeLine(origin, block->line))) {
      if (extras != nullptr)
        readExtras(block.get(), &array[filled], &(*extras)[static_cast<size_t>(filled)]);
      ++filled;
    }
  }
  for (int32_t i = filled; i < count; ++i) std::memset(&array[i], 0, sizeof(Record));
  std::rewind(file);
}

std::string Folded(const char* text, size_t size) {
  std::string folded(text, strnlen(text, size));
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded;
}

template <typename Record>
void Reorder(Record* records, const std::vector<int32_t>& order, size_t first) {
  std::vector<Record> moved(order.size());
  for (size_t i = 0; i < order.size(); ++i)
    moved[i] = records[first + static_cast<size_t>(order[i])];
  std::memcpy(records + first, moved.data(), moved.size() * sizeof(Record));
}

}  // namespace

bool IsValidLongName(const char* text) {
  if (text == nullptr) return false;
  for (size_t i = 0; i < kLongNameLength; ++i) {
    char c = text[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return text[kLongNameLength] == '\0';
}

int CountBlocks(FILE* file, const char* keyword) {
  std::unique_ptr<TextBlock> block(new TextBlock);
  int count = 0;
  while (ReadBlock(file, block.get()).ok)
    if (block->longLine == 0 && FoldedCompare(block->name, keyword, kBlockKeySize) == 0) ++count;
  std::rewind(file);
  return count;
}

void ParseStations(FILE* file, Serv_Sta* catalogue, std::vector<StationExtras>* extras,
                   const CatalogueOrigin& origin) {
  ParseAll(file, catalogue->pStations, catalogue->iNumStations, ParseStation, extras,
           ReadLongName, origin);
}

void ParseServices(FILE* file, Serv_Sta* catalogue, std::vector<ServiceExtras>* extras,
                   const CatalogueOrigin& origin) {
  ParseAll(file, catalogue->pServices, catalogue->iNumServices, ParseService, extras,
           ReadServiceExtras, origin);
}

// Two exchange sorts: by serv over all stations, then by sName among the
// stations of one serv (contiguous after the first). Keys are folded once;
// records move once per pass.
void SortStations(Serv_Sta* catalogue, std::vector<StationExtras>* extras) {
  StationRecord* stations = catalogue->pStations;
  int32_t count = catalogue->iNumStations;
  if (stations == nullptr || count < 2) return;
  size_t n = static_cast<size_t>(count);
  StationExtras* companions =
      extras != nullptr && extras->size() == n ? extras->data() : nullptr;

  std::vector<std::string> serv(n);
  for (size_t i = 0; i < n; ++i) serv[i] = Folded(stations[i].serv, sizeof stations[i].serv);
  std::vector<int32_t> rank = RanksOf(count, [&](int32_t a, int32_t b) {
    return serv[static_cast<size_t>(a)] < serv[static_cast<size_t>(b)];
  });
  std::vector<int32_t> order = ExchangeOrder(rank);
  Reorder(stations, order, 0);
  if (companions != nullptr) Reorder(companions, order, 0);

  size_t start = 0;
  while (start < n) {
    const std::string& key = serv[static_cast<size_t>(order[start])];
    size_t end = start + 1;
    while (end < n && serv[static_cast<size_t>(order[end])] == key) ++end;
    if (end - start > 1) {
      std::vector<std::string> names(end - start);
      for (size_t i = start; i < end; ++i)
        names[i - start] = Folded(stations[i].sName, sizeof stations[i].sName);
      std::vector<int32_t> nameRank =
          RanksOf(static_cast<int32_t>(end - start), [&](int32_t a, int32_t b) {
            return names[static_cast<size_t>(a)] < names[static_cast<size_t>(b)];
          });
      std::vector<int32_t> nameOrder = ExchangeOrder(nameRank);
      Reorder(stations, nameOrder, start);
      if (companions != nullptr) Reorder(companions, nameOrder, start);
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
