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
#include <string>
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
constexpr size_t kAddressSize = 128;  // 127 characters and a NUL

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

// A service's logins may be bearer tokens ("auth: bearer"): the password of
// the login is then sent as "Authorization: Bearer <token>", over HTTPS to
// the service's first address only.
struct ServiceExtras {
  std::vector<std::string> mirrors;  // each shorter than kAddressSize
  char hourlyFile[kServiceTemplateSize];
  char quarterFile[kServiceTemplateSize];
  char rollingNavFile[kServiceTemplateSize];
  bool bearerToken;
};

// True when text is a usable long name: exactly 9 upper-case letters or
// digits, so that it can never form more than a plain file name.
bool IsValidLongName(const char* text);

// Where the lines of combined.dwn came from, so that a load report names
// the file and line the user wrote.
struct CatalogueOrigin {
  const char* firstFile = "combined.dwn";  // the file line 1 came from
  int32_t userFirstLine = 0;  // both files joined: the first line from user.dwn; else 0
};

// "user.dwn line 7" for line (from 1) of combined.dwn.
std::string DescribeLine(const CatalogueOrigin& origin, int32_t line);

// Joins first and second into output (either input may be missing). joined
// receives 3 both joined, 1 only first, 2 only second, 0 neither exists
// (output untouched). Fails with "Could not open temporary file '" + output +
// "'" when output cannot be created, "Memory Allocation Error in
// ConcatenateTwoASCIIFiles" or "Disk-full writing to '" + output + "'".
// firstLines, when given, receives the number of lines output got from first.
Result ConcatenateTwoASCIIFiles(const char* first, const char* second, const char* output,
                                int32_t* joined, int32_t* firstLines = nullptr);

// Copies input (null: nothing) to output, the open file of outputName,
// unchanged, then one newline when the text did not end with one. Fails with
// ConcatenateTwoASCIIFiles' texts for no memory and a failed write. lines,
// when given, receives the number of newlines written.
Result AppendTextFile(FILE* input, FILE* output, const char* outputName,
                      int32_t* lines = nullptr);

// Counts the blocks from the current position whose keyword equals keyword
// (no case), until end of file or an unreadable block; rewinds the file.
// A block with a line longer than 254 characters (TextBlock::longLine) is
// not counted: the parsers leave it out.
int CountBlocks(FILE* file, const char* keyword);

// Reports (STATUS_TEXT through the frame record) each Station and Service
// block of file that is left out for a line longer than 254 characters,
// naming both lines; rewinds the file.
void ReportLongLineBlocks(FILE* file, const CatalogueOrigin& origin);

// Fill catalogue->pStations / pServices (sized by iNumStations /
// iNumServices) from every block of file that gives all required keys; a
// block missing one leaves its slot for the next block, and a block with a
// line longer than 254 characters is passed over. Unfilled slots at the end
// are zeroed. A value longer than its field is cut to fit and reported with
// the block's line (origin names it); an address (ftpAd) that does not fit
// is not cut but left empty, and reported. Both rewind the file.
// extras, when given, receive one entry per record, in record order: the
// long name ("lName:", upper-cased; a value that is not 9 letters or digits
// is dropped with a status text) and the addresses after the first of
// "ftpAd:", of every "ftpAd:" entry of the block when one line cannot hold
// them all (one of more than 127 characters is dropped with a status text),
// and the sub-daily templates (one of more than 255 characters is dropped
// with a status text), and "auth:" ("bearer", any case; any other value is
// ignored with a status text).
void ParseStations(FILE* file, Serv_Sta* catalogue, std::vector<StationExtras>* extras = nullptr,
                   const CatalogueOrigin& origin = {});
void ParseServices(FILE* file, Serv_Sta* catalogue, std::vector<ServiceExtras>* extras = nullptr,
                   const CatalogueOrigin& origin = {});

// Load reports (STATUS_TEXT through the frame record) of catalogue entries
// that cannot be used as written; place is where the block is ("user.dwn
// line 7"). A service whose first address is longer than its 127-character
// field (the service keeps an empty ftpAd); a value cut to its field (kind
// "Station" or "Service", subject the station's name or service's
// identifier, key the value's key, kept what the field holds); stations that
// share a name (compared without regard to case; the first in the sorted
// array is the one a lookup by name finds): each name given twice in one
// service, and the names that services share (a station that each serves:
// one block per service) in one text, which names the station when there is
// only one.
void ReportOverlongAddress(const ServiceRecord& service, const std::string& place);
void ReportCutValue(const char* kind, const std::string& subject, const std::string& place,
                    const char* key, size_t fieldLength, const char* kept);
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

// True when service (an element of the loaded catalogue's pServices) says
// "auth: bearer".
bool ServiceUsesBearerToken(const ServiceRecord* service);

// Puts the loaded catalogue into catalogue, or null and fails with "Error no
// station catalogue is loaded. Call iInitalizeNEW first" when there is none
// (before the first load, after vClearMem, after a failed load).
Result RequireLoadedCatalogue(Serv_Sta** catalogue);

// The first half of iInitalizeNEW: joins manufact.dwn and user.dwn of
// catalogueDirectory into its combined.dwn, whose path goes into combined (a
// kPathSize buffer), and tells in origin where its lines came from. The
// host's directory text is not written to. Fails without a heading: "Path is
// too long ...", "Could not open temporary file '...'", "Memory Allocation
// Error in ConcatenateTwoASCIIFiles" or "Disk-full writing to '...'".
Result JoinCatalogueFiles(const char* catalogueDirectory, char* combined,
                          CatalogueOrigin* origin);

// The second half of iInitalizeNEW, once catalogue (not null) has the record
// sizes checked: saves the current directory in SavedDirectory, takes
// workingDirectory as WorkingDirectory and loads combined (origin names its
// lines in reports). On success the arrays the record referred to are
// released and the record gets the new counts and arrays, with both sizes 0
// (the host sets them again before its next load). On failure (carrying
// kCatalogueLoadHeading) the record is left as it was, arrays included, and
// no catalogue is loaded; a workingDirectory that does not fit
// WorkingDirectory (kDirectorySize with its terminator) fails so, with
// "Error: the directory " + workingDirectory + " is too long", and is never
// cut. The record becomes LoadedCatalogue either way.
Result LoadCatalogue(const char* combined, const char* workingDirectory, Serv_Sta* catalogue,
                     const CatalogueOrigin& origin);

// vClearMem: releases the arrays catalogue (not null) refers to when this
// library made them and has not released them yet; any other values are
// left alone.
void ReleaseCatalogue(Serv_Sta* catalogue);

// Releases the arrays of the loaded catalogue, if any, and marks it unloaded.
void ReleaseLoadedCatalogue();

}  // namespace stanvex

#endif  // STANVEX_CATALOGUE_CATALOGUE_H
