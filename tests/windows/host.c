/*
 * A Windows host program: loads stanvex.dll with LoadLibraryA, finds every
 * export by its decorated name and runs one request from start to end the
 * way a host application does: catalogue load, nearest-station search, a
 * full retrieval and the average position of the delivered file.
 *
 *   host.exe CATALOGUE_DIR WORK_DIR DEST_DIR LAT LON START END INTERVAL NAME [MODE]
 *
 * START and END are GPS seconds, INTERVAL the output interval in seconds
 * (0 keeps the input's), NAME the station the search must find first. MODE
 * "refused" expects the retrieval to fail; MODE "stop" calls
 * StopFtpProcessing from the status callback once file data flows and
 * expects the retrieval to end within two seconds. The program prints what
 * it did, one fact per line ("last error" of a failed request included),
 * and exits with 0 only when every check held.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "stanvex.h"

typedef StatusCallback(__stdcall *SetCallBackFn)(StatusCallback);
typedef int32_t(__stdcall *GetLastErrorFn)(char *);
typedef int32_t(__stdcall *ChangeTempDirFn)(const char *);
typedef int32_t(__stdcall *InitializeFn)(char *, const char *, Serv_Sta *);
typedef void(__stdcall *ClearMemFn)(Serv_Sta *);
typedef int32_t(__stdcall *FindClosestFn)(double, double, double, StationRecord **, int32_t,
                                          int32_t *);
typedef int32_t(__stdcall *FtpFn)(double, double, StationRecord *, char *, double, char *, char *,
                                  char *, int32_t, int32_t, int32_t);
typedef int32_t(__stdcall *GetManfactFileFn)(char *);
typedef void(__stdcall *AvgPositionFn)(const char *, AvgPosition *, double *, double *, int32_t *);
typedef int32_t(__stdcall *StopFn)(void);

/* Every export, in the order of the interface. */
static const char *const kExportNames[] = {
    "_SetCallBack@4",   "_iGetLastError@4",  "_ChangeTempDir@4",      "_iInitalizeNEW@12",
    "_vClearMem@4",     "_iFindClosestStation@36", "_iFTP@56",        "_iGetManfactFile@4",
    "_NewGetAvgOBNPos@20", "_StopFtpProcessing@0", "_StopInerpolation@0"};
enum { kExportCount = sizeof kExportNames / sizeof kExportNames[0] };

enum { kMaxReports = 4096 };
static int32_t report_codes[kMaxReports];
static int report_count;
static int reports_dirty; /* a record with non-zero bytes where none belong */
static int failures;
/* The stop mode: StopFtpProcessing, called once from the callback. */
static StopFn stop_on_data;
static volatile LONG stop_sent;
static volatile DWORD stop_tick;

static void Check(int condition, const char *what) {
  printf("%s: %s\n", condition ? "ok" : "FAILED", what);
  if (!condition) ++failures;
}

/* Keeps each code and checks the zero fill: no byte after the text's NUL and
 * no reserved byte may be set. */
static void __stdcall OnStatus(StatusRecord *record) {
  const unsigned char *raw = (const unsigned char *)record;
  size_t length = strnlen(record->text, sizeof record->text);
  size_t i;
  for (i = length; i < sizeof record->text; ++i)
    if (raw[i] != 0) reports_dirty = 1;
  if (record->reserved1 != 0) reports_dirty = 1;
  for (i = 0; i < sizeof record->reserved2; ++i)
    if (record->reserved2[i] != 0) reports_dirty = 1;
  if (length != 0) printf("report %d: %.100s\n", (int)record->code, record->text);
  if (report_count < kMaxReports) report_codes[report_count++] = record->code;
  if (stop_on_data != NULL && record->code == STATUS_FTP_RECEIVED_RATE &&
      InterlockedExchange(&stop_sent, 1) == 0) {
    stop_tick = GetTickCount();
    stop_on_data();
  }
}

static int Reported(int32_t code) {
  int i;
  for (i = 0; i < report_count; ++i)
    if (report_codes[i] == code) return 1;
  return 0;
}

/* The last report that is not a transfer progress report. */
static int32_t LastMainReport(void) {
  int i;
  for (i = report_count - 1; i >= 0; --i) {
    int32_t code = report_codes[i];
    if (code != STATUS_FTP_REQUEST_DONE && code != STATUS_FTP_RECEIVED &&
        code != STATUS_FTP_RECEIVED_RATE)
      return code;
  }
  return 0;
}

static void PrintLastError(GetLastErrorFn get_last_error, const char *what) {
  char text[512];
  text[0] = '\0';
  get_last_error(text);
  text[sizeof text - 1] = '\0';
  printf("%s: last error \"%s\"\n", what, text);
}

int main(int argc, char **argv) {
  FARPROC exports[kExportCount];
  HMODULE library;
  int i;
  setvbuf(stdout, NULL, _IONBF, 0); /* every line out before a crash */
  const char *mode = argc == 11 ? argv[10] : "";
  if (argc != 10 && argc != 11) {
    fprintf(stderr,
            "usage: host CATALOGUE_DIR WORK_DIR DEST_DIR LAT LON START END INTERVAL NAME [MODE]\n");
    return 2;
  }
  /* Serv_Sta holds the two array addresses, pointer-sized: 24 bytes on 32-bit
   * Windows, 32 on the 64-bit test build. */
  Check(sizeof(StatusRecord) == 560 && sizeof(StationRecord) == 98 &&
            sizeof(ServiceRecord) == 1041 && sizeof(Serv_Sta) == 16 + 2 * sizeof(void *) &&
            sizeof(AvgPosition) == 20,
        "record sizes 560, 98, 1041, 16 + two addresses, 20");

  library = LoadLibraryA("stanvex.dll");
  if (library == NULL) {
    printf("FAILED: LoadLibraryA(stanvex.dll), error %lu\n", (unsigned long)GetLastError());
    return 1;
  }
  for (i = 0; i < kExportCount; ++i) {
    exports[i] = GetProcAddress(library, kExportNames[i]);
    if (exports[i] == NULL) printf("FAILED: no export %s\n", kExportNames[i]);
    if (exports[i] == NULL) ++failures;
  }
  Check(GetProcAddress(library, "SetCallBack") == NULL, "no undecorated export");
  if (failures != 0) return 1;
  printf("ok: all %d exports found\n", kExportCount);

  {
    SetCallBackFn set_callback = (SetCallBackFn)(void (*)(void))exports[0];
    GetLastErrorFn get_last_error = (GetLastErrorFn)(void (*)(void))exports[1];
    ChangeTempDirFn change_temp_dir = (ChangeTempDirFn)(void (*)(void))exports[2];
    InitializeFn initialize = (InitializeFn)(void (*)(void))exports[3];
    ClearMemFn clear_mem = (ClearMemFn)(void (*)(void))exports[4];
    FindClosestFn find_closest = (FindClosestFn)(void (*)(void))exports[5];
    FtpFn ftp = (FtpFn)(void (*)(void))exports[6];
    AvgPositionFn average_position = (AvgPositionFn)(void (*)(void))exports[8];
    StopFn stop_ftp = (StopFn)(void (*)(void))exports[9];
    StopFn stop_interpolation = (StopFn)(void (*)(void))exports[10];

    char catalogue_dir[256], work_dir[256], dest_dir[256], delivered[256];
    double latitude = atof(argv[4]), longitude = atof(argv[5]);
    double start = atof(argv[6]), end = atof(argv[7]), interval = atof(argv[8]);
    const char *wanted_name = argv[9];
    Serv_Sta catalogue;
    StationRecord *found[4];
    int32_t found_count = 0;
    AvgPosition average;
    double span_start = 0, span_end = 0;
    int32_t valid = 0;
    int32_t result;

    snprintf(catalogue_dir, sizeof catalogue_dir, "%s", argv[1]);
    snprintf(work_dir, sizeof work_dir, "%s", argv[2]);
    snprintf(dest_dir, sizeof dest_dir, "%s", argv[3]);
    memset(delivered, 0, sizeof delivered);

    Check(set_callback(OnStatus) == OnStatus, "SetCallBack returns the callback");
    Check(get_last_error(NULL) == -1, "iGetLastError refuses a null buffer");
    Check(stop_interpolation() == 0, "StopInerpolation with nothing running");
    Check(change_temp_dir(work_dir) == 0, "ChangeTempDir to the working directory");

    memset(&catalogue, 0, sizeof catalogue);
    catalogue.iServiceSize = (int32_t)sizeof(ServiceRecord);
    catalogue.iStationSize = (int32_t)sizeof(StationRecord);
    result = initialize(catalogue_dir, work_dir, &catalogue);
    if (result != 0) PrintLastError(get_last_error, "iInitalizeNEW");
    Check(result == 0 && catalogue.iNumStations > 0 && catalogue.iNumServices > 0,
          "iInitalizeNEW loads the catalogue");
    printf("catalogue: %d stations, %d services\n", (int)catalogue.iNumStations,
           (int)catalogue.iNumServices);
    if (result != 0) return 1;

    result = find_closest(latitude, longitude, 100000.0, found, 4, &found_count);
    Check(result == 0 && found_count >= 1, "iFindClosestStation finds a station");
    if (result != 0 || found_count < 1) return 1;
    printf("nearest: %s at %.1f m, service %s\n", found[0]->sName, found[0]->distance,
           found[0]->serv);
    Check(strcmp(found[0]->sName, wanted_name) == 0, "the nearest station is the one asked for");

    report_count = 0;
    if (strcmp(mode, "stop") == 0) stop_on_data = stop_ftp;
    result = ftp(start, end, found[0], dest_dir, interval, delivered, NULL, NULL, 1, 0, 1);
    if (result != 0) PrintLastError(get_last_error, "iFTP");
    if (mode[0] != '\0') {
      if (strcmp(mode, "stop") == 0) {
        DWORD took = GetTickCount() - stop_tick;
        Check(stop_sent != 0, "the stop was sent while file data flowed");
        printf("stopped after %lu ms\n", (unsigned long)took);
        Check(stop_sent != 0 && took < 2000, "the retrieval ends within 2 s of the stop");
      }
      Check(result == -1, "iFTP fails");
      clear_mem(&catalogue);
      FreeLibrary(library);
      printf("%s\n", failures == 0 ? "host: passed" : "host: FAILED");
      return failures == 0 ? 0 : 1;
    }
    Check(result == 0, "iFTP delivers the request");
    printf("delivered: %s\n", delivered);
    printf("reports: %d\n", report_count);
    printf("interpolated: %s\n", Reported(STATUS_INTERP_PERCENT) ? "yes" : "no");
    Check(Reported(STATUS_OUTPUT_PATH) && Reported(STATUS_DAY_DONE) && Reported(STATUS_FTP_REQUEST_DONE),
          "output path, day done and transfer completions reported");
    Check(LastMainReport() == STATUS_REQUEST_DONE, "request done is the last report");
    Check(!reports_dirty, "every report zero-filled");
    Check(stop_ftp() == 0, "StopFtpProcessing returns 0");

    memset(&average, 0, sizeof average);
    average_position(delivered, &average, &span_start, &span_end, &valid);
    printf("average: %.7f %.7f valid %d\n", average.position1, average.position2, (int)valid);
    printf("span: %.0f %.0f\n", span_start, span_end);
    Check(valid == 1, "the delivered file has a valid span");

    clear_mem(&catalogue);
  }
  FreeLibrary(library);
  printf("%s\n", failures == 0 ? "host: passed" : "host: FAILED");
  return failures == 0 ? 0 : 1;
}
