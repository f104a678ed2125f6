/*
 * stanvex: GPS observation data from networks of continuously operating
 * reference stations.
 *
 * The public C interface for host programs: the exported functions, the
 * records they exchange and the status codes sent to the host's callback.
 *
 * Records are byte-packed. On 32-bit builds every record has the exact size
 * and offsets given beside it; on 64-bit builds the address fields are
 * pointer-sized and every other field keeps its width and order.
 *
 * Threads: every export runs to its end on the calling thread. Only
 * StopFtpProcessing, StopInerpolation, SetCallBack and iGetLastError may be
 * called from another thread while a request runs. One request runs at a
 * time: any other export called while one runs (from another thread or from
 * the callback) is refused at once without touching the running one; it
 * returns -1 (vClearMem and NewGetAvgOBNPos return doing nothing, valid set
 * to 0), and iGetLastError on the refused thread gives "Error <export>
 * refused: a request is already running".
 */
#ifndef STANVEX_H
#define STANVEX_H

#include <stdint.h>

#if defined(_WIN32)
#define STANVEX_CALL __stdcall
#if defined(STANVEX_BUILDING)
/* stanvex.def exports each function under its decorated name only. */
#define STANVEX_API
#else
#define STANVEX_API __declspec(dllimport)
#endif
#else
#define STANVEX_CALL
#define STANVEX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes sent in StatusRecord.code. */
enum StatusCode {
  STATUS_FTP_REQUEST_DONE = 121,  /* value1 = first word of completion info */
  STATUS_FTP_RECEIVED = 122,      /* value1 = bytes so far >> 10 */
  STATUS_TEXT = 125,              /* text */
  STATUS_CONVERT_TEXT = 128,      /* text, real */
  STATUS_CONVERT_PERCENT = 129,   /* value1 = percent, multiple of 5 */
  STATUS_CONVERT_DONE = 130,      /* value1..value4 = converter counts */
  STATUS_FTP_RECEIVED_RATE = 131, /* value1 = KiB, real = KiB per second */
  STATUS_DAY_DONE = 132,          /* value1 = day done (1-based), value2 = days */
  STATUS_INTERVAL = 134,          /* real = interval of the input, seconds */
  STATUS_WEEK_CROSSOVER = 135,    /* text */
  STATUS_FILE_REQUEST = 136,      /* text = remote file name */
  STATUS_FILE_NAME = 137,         /* text = local file name */
  STATUS_REQUEST_DONE = 138,      /* none */
  STATUS_OUTPUT_PATH = 139,       /* text = destination path of the output */
  STATUS_CONCAT_START = 140,      /* none */
  STATUS_SPLICE_START = 141,      /* none */
  STATUS_INTERP_PERCENT = 142,    /* value1 = percent 0..100 */
  STATUS_CONNECTING = 143,        /* text = server address */
  STATUS_ERROR = 144              /* text = short heading; reason via iGetLastError */
};

#pragma pack(push, 1)

/* 560 bytes. Every send clears all bytes first: fields a code does not fill
 * are zero. The record belongs to the library and is valid only during the
 * callback. */
typedef struct StatusRecord {
  char text[512];
  int32_t code;
  int32_t value1;
  int32_t value2;
  int32_t value3;
  int32_t value4;
  int32_t reserved1;
  double real;
  uint8_t reserved2[16];
} StatusRecord;

typedef void(STANVEX_CALL *StatusCallback)(StatusRecord *record);

/* 98 bytes. */
typedef struct StationRecord {
  double distance; /* metres from the last iFindClosestStation position */
  char sName[8];
  float latDeg;
  float latMin;
  float latSec;
  float lonDeg;
  float lonMin;
  float lonSec;
  float ht;
  char latHem;
  char lonHem;
  double lat; /* decimal degrees, south negative */
  double lon; /* decimal degrees, west negative */
  float height;
  char serv[32];
} StationRecord;

/* 1041 bytes. */
typedef struct ServiceRecord {
  char ServId[32];
  char ftpAd[128];
  int32_t stationCount;
  int32_t firstStation;
  int32_t hasDFile;
  char Ftype[5];
  char oFile[256];
  char nFile[256];
  char dFile[256];
  char color[32];
  char servIcon[32];
  char staIcon[32];
} ServiceRecord;

/* The host's catalogue record; the library fills the arrays. */
typedef struct Serv_Sta {
  int32_t iServiceSize; /* must be 1041 */
  int32_t iStationSize; /* must be 98 */
  StationRecord *pStations;
  ServiceRecord *pServices;
  int32_t iNumStations;
  int32_t iNumServices;
} Serv_Sta;

/* 20 bytes: the result of NewGetAvgOBNPos. */
typedef struct AvgPosition {
  double position1; /* average latitude, decimal degrees */
  double position2; /* average longitude, decimal degrees */
  int32_t status;   /* set to 0 only when there is no average: the file cannot
                       be opened or holds no solved epoch (iGetLastError says) */
} AvgPosition;

#pragma pack(pop)

/* Registers the status callback (null switches reports off); returns it. */
STANVEX_API StatusCallback STANVEX_CALL SetCallBack(StatusCallback callback);

/* Copies the last failure's reason (at most 512 bytes with its NUL) into
 * buffer: the refusal's when the calling thread's last request was refused.
 * Returns 0, or -1 when buffer is null. */
STANVEX_API int32_t STANVEX_CALL iGetLastError(char *buffer);

/* Makes directory the working directory. 0, or -1 when it does not exist. */
STANVEX_API int32_t STANVEX_CALL ChangeTempDir(const char *directory);

/* Joins manufact.dwn and user.dwn into combined.dwn in catalogueDirectory and
 * loads it into catalogue, whose two size fields must be set. 0 / -1. */
STANVEX_API int32_t STANVEX_CALL iInitalizeNEW(char *catalogueDirectory,
                                               const char *workingDirectory,
                                               Serv_Sta *catalogue);

/* Releases the arrays made by iInitalizeNEW. */
STANVEX_API void STANVEX_CALL vClearMem(Serv_Sta *catalogue);

/* Finds up to wanted stations within maximumDistance metres, nearest first.
 * found receives their addresses, iNumStat their number. 0 / -1. */
STANVEX_API int32_t STANVEX_CALL iFindClosestStation(double latitude, double longitude,
                                                     double maximumDistance,
                                                     StationRecord **found, int32_t wanted,
                                                     int32_t *iNumStat);

/* Retrieves one station's data for the window [start, end] (GPS seconds) and
 * delivers the OBN, NVB and STA files into cDirectory. 0 / -1. */
STANVEX_API int32_t STANVEX_CALL iFTP(double start, double end, StationRecord *station,
                                      char *cDirectory, double interval, char *deliveredPath,
                                      char *ftpUser, char *ftpPassword, int32_t copyOver,
                                      int32_t converterOption, int32_t removeRinex);

/* Downloads manufact.dwn from the catalogue server into directory. 0 / -1. */
STANVEX_API int32_t STANVEX_CALL iGetManfactFile(char *directory);

/* Average position and usable span (GPS seconds) of an OBN file. A file
 * without a solved epoch has no average: the record is zeroed, valid is 0. */
STANVEX_API void STANVEX_CALL NewGetAvgOBNPos(const char *path, AvgPosition *average,
                                              double *start, double *end, int32_t *valid);

/* Asks a running transfer to stop. Returns 0. */
STANVEX_API int32_t STANVEX_CALL StopFtpProcessing(void);

/* Asks a running interpolation to stop; 0 when none is running. */
STANVEX_API int32_t STANVEX_CALL StopInerpolation(void);

#ifdef __cplusplus
}
#endif

#endif /* STANVEX_H */
