// Catalogue files (manufact.dwn + user.dwn joined into combined.dwn) and
// their loading into the host's Serv_Sta record.
//
// Threads: everything here runs on the thread of the current request and
// uses LoadedCatalogue without locking.
#ifndef STANVEX_CATALOGUE_CATALOGUE_H
#define STANVEX_CATALOGUE_CATALOGUE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/result.h"
#include "stanvex.h"

namespace stanvex {

// The heading of every failure of a catalogue load after the files are joined.
inline constexpr char kCatalogueLoadHeading[] = "Error in Initalization";

constexpr int32_t kMaxStations = 8192;
constexpr int32_t kMaxServices = 32;
constexpr int32_t kServiceRecordSize = 1041;
constexpr int32_t kStationRecordSize = 98;

// What the library keeps beside the host's records (whose layouts stay as
// they are): a station's 9-character long name ("lName:", RINEX 3 style
// ZIMM00CHE) and a service's further addresses (the values of "ftpAd:" after
// the first, tried in order when the first fails).
constexpr size_t kLongNameLength = 9;
constexpr int32_t kMaxServiceAddresses = 8;  // the first address and seven mirrors
constexpr size_t kAddressSize = 128;         // 127 characters and a NUL

struct StationExtras {
  char longName[kLongNameLength + 1];  // empty when the block gave none (or a bad one)
};

// A service's sub-daily templates, kept beside its record as the mirrors
// are: "hFile:" (its hourly observation files), "qFile:" (its 15-minute
// high-rate observation files) and "hnFile:" (the navigation file of a day
// whose daily navigation file is not published yet). Each holds up to 255
// characters, as the record's own templates do; empty when the block gave none.
constexpr size_t kServiceTemplateSize = 256;
enum class SubDailyTemplate { kHourly, kQuarterHourly, kRollingNavigation };

struct ServiceExtras {
  int32_t mirrorCount;
  char mirrors[kMaxServiceAddresses - 1][kAddressSize];
  char hourlyFile[kServiceTemplateSize];
  char quarterFile[kServiceTemplateSize];
  char rollingNavFile[kServiceTemplateSize];
};

// True when text is a usable long name: exactly 9 upper-case letters or
// digits, so that it can never form more than a plain file name.
bool IsValidLongName(const char* text);

// Joins first and second into output (either input may be missing).
// Returns 3 both joined, 1 only first, 2 only second, 0 neither exists
// (output untouched), -1 output cannot be created, -2 no memory, -3 a write
// failed. Sets no error text.
int ConcatenateTwoASCIIFiles(const char* first, const char* second, const char* output);

// Copies input (null: nothing) to output unchanged, then one newline when
// the text did not end with one. Returns 0, 1 for a failed write, -1 for no
// memory.
int AppendTextFile(FILE* input, FILE* output);

// Counts the blocks from the current position whose keyword equals keyword
// (no case), until end of file or an unreadable block; rewinds the file.
int CountBlocks(FILE* file, const char* keyword);

// Fill catalogue->pStations / pServices (sized by iNumStations /
// iNumServices) from every block of file that gives all required keys; a
// block missing one leaves its slot for the next block. Unfilled slots at
// the end are zeroed. Both rewind the file.
// extras, when given, receive one entry per record, in record order: the
// long name ("lName:", upper-cased; a value that is not 9 letters or digits
// is dropped with a status text) and the addresses after the first of
// "ftpAd:" (one of more than 127 characters, or beyond the eighth address,
// is dropped with a status text) and the sub-daily templates (one of more
// than 255 characters is dropped with a status text).
void ParseStations(FILE* file, Serv_Sta* catalogue, std::vector<StationExtras>* extras = nullptr);
void ParseServices(FILE* file, Serv_Sta* catalogue, std::vector<ServiceExtras>* extras = nullptr);

// Load reports (STATUS_TEXT through the frame record) of catalogue entries
// that cannot be used as written: a service whose first address is longer
// than its 127-character field (the service keeps an empty ftpAd), and
// stations that share a name (compared without regard to case; the first in
// the sorted array is the one a lookup by name finds).
void ReportOverlongAddress(const ServiceRecord& service);
void ReportDuplicateStations(const Serv_Sta* catalogue);

// The text a request through service gets when the service has no usable
// address; null when it has one.
const char* UnusableServiceReason(const ServiceRecord& service);

// Orders the stations by serv, then sName, both without regard to case,
// ascending. Stations with equal keys keep their file order. extras, when
// given (one per station), are moved with their stations.
void SortStations(Serv_Sta* catalogue, std::vector<StationExtras>* extras = nullptr);

// Sets each service's stationCount and firstStation (stations sorted).
void LinkServices(Serv_Sta* catalogue);

// The first service of the loaded catalogue whose ServId equals id (no
// case); null when none or when no catalogue is loaded.
ServiceRecord* FindService(const char* id);

// The long name of station, an element of the loaded catalogue's pStations
// (found by its place there); null when it has none or is not such an
// element.
const char* StationLongName(const StationRecord* station);

// The addresses of service: 1 + its mirrors when it is an element of the
// loaded catalogue's pServices, else 1. Index 0 is service->ftpAd itself;
// an index out of range gives null.
int32_t ServiceAddressCount(const ServiceRecord* service);
const char* ServiceAddress(const ServiceRecord* service, int32_t index);

// The sub-daily template of service (an element of the loaded catalogue's
// pServices); "" when it has none or is not such an element.
const char* ServiceSubDailyTemplate(const ServiceRecord* service, SubDailyTemplate which);

// The loaded catalogue, or null with "Error no station catalogue is loaded.
// Call iInitalizeNEW first" in LastErrorText when there is none (before the
// first load, after vClearMem, after a failed load).
Serv_Sta* RequireLoadedCatalogue();

// The first half of iInitalizeNEW: joins manufact.dwn and user.dwn of
// catalogueDirectory into its combined.dwn, whose path goes into combined (a
// kPathSize buffer). The host's directory text is not written to. Fails
// without a heading: "Path is too long ...", "Could not open temporary file
// '...'", "Memory Allocation Error in ConcatenateTwoASCIIFiles" or
// "Disk-full writing to '...'".
Result JoinCatalogueFiles(const char* catalogueDirectory, char* combined);

// The second half of iInitalizeNEW, once catalogue (not null) has the record
// sizes checked: saves the current directory in SavedDirectory, takes
// workingDirectory as WorkingDirectory, releases the arrays the record still
// refers to, clears it and loads combined into it. The record becomes
// LoadedCatalogue whatever the outcome; failures carry kCatalogueLoadHeading.
Result LoadCatalogue(const char* combined, const char* workingDirectory, Serv_Sta* catalogue);

// vClearMem: releases the arrays catalogue (not null) refers to when this
// library made them and has not released them yet; any other values are
// left alone.
void ReleaseCatalogue(Serv_Sta* catalogue);

// Releases the arrays of the loaded catalogue, if any, and marks it unloaded.
void ReleaseLoadedCatalogue();

}  // namespace stanvex

#endif  // STANVEX_CATALOGUE_CATALOGUE_H
