// The records exchanged with hosts and companion libraries keep their exact
// 32-bit layout. Compiled into the library on every build, so a 32-bit build
// (the shipped stanvex.dll) fails to compile when a field moves; 64-bit
// builds widen the address fields and check nothing here.
#include <cstddef>
#include <cstdint>

#include "intobn_api.h"
#include "rin2obn_api.h"
#include "stanvex.h"
#include "unzipdll_api.h"

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(StatusRecord) == 560, "StatusRecord");
static_assert(offsetof(StatusRecord, code) == 512, "StatusRecord.code");
static_assert(offsetof(StatusRecord, value1) == 516, "StatusRecord.value1");
static_assert(offsetof(StatusRecord, value4) == 528, "StatusRecord.value4");
static_assert(offsetof(StatusRecord, real) == 536, "StatusRecord.real");
static_assert(offsetof(StatusRecord, reserved2) == 544, "StatusRecord.reserved2");

static_assert(sizeof(StationRecord) == 98, "StationRecord");
static_assert(offsetof(StationRecord, sName) == 8, "StationRecord.sName");
static_assert(offsetof(StationRecord, latDeg) == 16, "StationRecord.latDeg");
static_assert(offsetof(StationRecord, ht) == 40, "StationRecord.ht");
static_assert(offsetof(StationRecord, latHem) == 44, "StationRecord.latHem");
static_assert(offsetof(StationRecord, lonHem) == 45, "StationRecord.lonHem");
static_assert(offsetof(StationRecord, lat) == 46, "StationRecord.lat");
static_assert(offsetof(StationRecord, lon) == 54, "StationRecord.lon");
static_assert(offsetof(StationRecord, height) == 62, "StationRecord.height");
static_assert(offsetof(StationRecord, serv) == 66, "StationRecord.serv");

static_assert(sizeof(ServiceRecord) == 1041, "ServiceRecord");
static_assert(offsetof(ServiceRecord, ftpAd) == 32, "ServiceRecord.ftpAd");
static_assert(offsetof(ServiceRecord, stationCount) == 160, "ServiceRecord.stationCount");
static_assert(offsetof(ServiceRecord, firstStation) == 164, "ServiceRecord.firstStation");
static_assert(offsetof(ServiceRecord, hasDFile) == 168, "ServiceRecord.hasDFile");
static_assert(offsetof(ServiceRecord, Ftype) == 172, "ServiceRecord.Ftype");
static_assert(offsetof(ServiceRecord, oFile) == 177, "ServiceRecord.oFile");
static_assert(offsetof(ServiceRecord, nFile) == 433, "ServiceRecord.nFile");
static_assert(offsetof(ServiceRecord, dFile) == 689, "ServiceRecord.dFile");
static_assert(offsetof(ServiceRecord, color) == 945, "ServiceRecord.color");
static_assert(offsetof(ServiceRecord, servIcon) == 977, "ServiceRecord.servIcon");
static_assert(offsetof(ServiceRecord, staIcon) == 1009, "ServiceRecord.staIcon");

static_assert(sizeof(Serv_Sta) == 24, "Serv_Sta");
static_assert(offsetof(Serv_Sta, pStations) == 8, "Serv_Sta.pStations");
static_assert(offsetof(Serv_Sta, pServices) == 12, "Serv_Sta.pServices");
static_assert(offsetof(Serv_Sta, iNumStations) == 16, "Serv_Sta.iNumStations");
static_assert(offsetof(Serv_Sta, iNumServices) == 20, "Serv_Sta.iNumServices");

static_assert(sizeof(AvgPosition) == 20, "AvgPosition");

static_assert(sizeof(rin2obn::ConverterRequest) == 2672, "ConverterRequest");
static_assert(sizeof(rin2obn::ConverterCallbacks) == 272, "ConverterCallbacks");
static_assert(offsetof(rin2obn::ConverterCallbacks, message) == 8, "ConverterCallbacks.message");
static_assert(offsetof(rin2obn::ConverterCallbacks, progress) == 12, "ConverterCallbacks.progress");

static_assert(sizeof(InterpolationRequest) == 5396, "InterpolationRequest");
static_assert(offsetof(InterpolationRequest, progress) == 5388, "InterpolationRequest.progress");
static_assert(offsetof(InterpolationRequest, message) == 5392, "InterpolationRequest.message");

static_assert(offsetof(UnzipCommand, messageCallback) == 12, "UnzipCommand.messageCallback");
static_assert(offsetof(UnzipCommand, archive) == 68, "UnzipCommand.archive");
static_assert(offsetof(UnzipCommand, fileSpecs) == 76, "UnzipCommand.fileSpecs");
#endif
