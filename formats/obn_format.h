// The OBN binary observation file: layout of its three record kinds.
//
// A file is one ObnHeader, then for every epoch one ObnPositionRecord followed
// by `count` ObnMeasurementRecords. No padding, no trailer, little-endian
// integers, IEEE floats. Every record begins with its own size.
//
// The core reads only size, count, flags, position1, position2 and time of the
// position record; every other byte is written by the converter and carried
// unchanged by every copy. The named carried fields below are what our
// converter writes there.
#ifndef STANVEX_FORMATS_OBN_FORMAT_H
#define STANVEX_FORMATS_OBN_FORMAT_H

#include <cstddef>
#include <cstdint>

namespace stanvex {

constexpr int16_t kObnHeaderSize = 202;
constexpr int16_t kObnPositionSize = 68;
constexpr int16_t kObnMeasurementSize = 44;
constexpr uint32_t kObnVersionBits = 0x3F8147AEu;  // 1.01f
constexpr int kObnWriterChannels = 12;   // maxChannels of every file we write
constexpr int kObnReaderRoom = 24;       // measurement room callers provide
constexpr int kObnBufferSize = 2048;

#pragma pack(push, 1)

struct ObnHeader {
  int16_t size;          // 202
  float version;         // 1.01
  int8_t carriedByte;    // set by the converter, copied by every writer
  int8_t maxChannels;    // most measurement records one epoch may have
  int16_t month;         // creation time, local: 0-11
  int16_t day;           // 1-31
  int16_t year;          // years since 1900
  int16_t hour;
  int16_t minute;
  int16_t second;
  float interval;        // seconds
  char fileName[144];    // path given to the writer
  uint8_t runtime[10];   // writer's handle state; ignored by readers
  uint8_t reserved[24];  // zero
};

struct ObnPositionRecord {
  int16_t size;        // 68
  int8_t count;        // measurement records that follow
  uint8_t flags;       // bit 0: the epoch has a position solution
  uint16_t week;       // carried: full GPS week of the epoch
  uint8_t satellites;  // carried: satellites used in the solution
  uint8_t epochFlag;   // carried: RINEX epoch flag
  double position1;    // WGS84 latitude, decimal degrees
  double position2;    // WGS84 longitude, decimal degrees
  float height;        // carried: ellipsoidal height, metres
  double time;         // GPS seconds of week
  double clockOffset;  // carried: receiver clock offset, seconds
  float pdop;          // carried
  float rms;           // carried: post-fit pseudorange residual RMS, metres
  uint8_t reserved[16];
};

// Bits of ObnMeasurementRecord::lockFlags.
enum ObnLockBits : uint8_t {
  kObnL1LossOfLock = 1u << 0,
  kObnL2LossOfLock = 1u << 1,
  kObnL1RangeIsP1 = 1u << 2,
  kObnL1PhaseMissing = 1u << 3,
  kObnL2PhaseMissing = 1u << 4,
  kObnL1RangeMissing = 1u << 5,
  kObnL2RangeMissing = 1u << 6,
};

struct ObnMeasurementRecord {
  int16_t size;      // 44
  uint8_t prn;       // carried: GPS PRN
  uint8_t lockFlags; // carried: ObnLockBits
  double l1Phase;    // cycles
  double l2Phase;    // cycles
  double l1Range;    // metres (C1, or P1 when C1 is absent)
  double l2Range;    // metres (P2, or C2 when P2 is absent)
  float l1Snr;       // dB-Hz, 0 unknown
  float l2Snr;       // dB-Hz, 0 unknown
};

#pragma pack(pop)

static_assert(sizeof(ObnHeader) == 202, "ObnHeader");
static_assert(offsetof(ObnHeader, interval) == 20, "ObnHeader.interval");
static_assert(offsetof(ObnHeader, fileName) == 24, "ObnHeader.fileName");
static_assert(offsetof(ObnHeader, runtime) == 168, "ObnHeader.runtime");
static_assert(offsetof(ObnHeader, reserved) == 178, "ObnHeader.reserved");
static_assert(sizeof(ObnPositionRecord) == 68, "ObnPositionRecord");
static_assert(offsetof(ObnPositionRecord, week) == 4, "ObnPositionRecord.week");
static_assert(offsetof(ObnPositionRecord, position1) == 8, "ObnPositionRecord.position1");
static_assert(offsetof(ObnPositionRecord, position2) == 16, "ObnPositionRecord.position2");
static_assert(offsetof(ObnPositionRecord, height) == 24, "ObnPositionRecord.height");
static_assert(offsetof(ObnPositionRecord, time) == 28, "ObnPositionRecord.time");
static_assert(offsetof(ObnPositionRecord, clockOffset) == 36, "ObnPositionRecord.clockOffset");
static_assert(offsetof(ObnPositionRecord, pdop) == 44, "ObnPositionRecord.pdop");
static_assert(offsetof(ObnPositionRecord, rms) == 48, "ObnPositionRecord.rms");
static_assert(offsetof(ObnPositionRecord, reserved) == 52, "ObnPositionRecord.reserved");
static_assert(sizeof(ObnMeasurementRecord) == 44, "ObnMeasurementRecord");
static_assert(offsetof(ObnMeasurementRecord, l1Phase) == 4, "ObnMeasurementRecord.l1Phase");
static_assert(offsetof(ObnMeasurementRecord, l2Phase) == 12, "ObnMeasurementRecord.l2Phase");
static_assert(offsetof(ObnMeasurementRecord, l1Range) == 20, "ObnMeasurementRecord.l1Range");
static_assert(offsetof(ObnMeasurementRecord, l2Range) == 28, "ObnMeasurementRecord.l2Range");
static_assert(offsetof(ObnMeasurementRecord, l1Snr) == 36, "ObnMeasurementRecord.l1Snr");
static_assert(offsetof(ObnMeasurementRecord, l2Snr) == 40, "ObnMeasurementRecord.l2Snr");

}  // namespace stanvex

#endif  // STANVEX_FORMATS_OBN_FORMAT_H
