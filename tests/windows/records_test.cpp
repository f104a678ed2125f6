// The records exchanged with hosts and companion libraries: the 64-bit
// widening of their address fields on the 64-bit test build.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "intobn_api.h"
#include "rin2obn_api.h"
#include "unzipdll_api.h"
#include "stanvex.h"

// The exact 32-bit layouts are checked at compile time in
// formats/record_layouts.cpp, which every build of the library compiles.


namespace {

#if UINTPTR_MAX == 0xFFFFFFFFu
TEST(WinRecordsTest, BuiltForA32BitTarget) { EXPECT_EQ(sizeof(void*), 4u); }
#else
// The 64-bit test build (for machines that cannot run 32-bit programs):
// address fields are pointer-sized, every other field keeps its width and
// order, so only the records that hold addresses grow.
TEST(WinRecordsTest, OnA64BitTargetOnlyAddressFieldsGrow) {
  EXPECT_EQ(sizeof(void*), 8u);
  EXPECT_EQ(sizeof(StatusRecord), 560u);
  EXPECT_EQ(sizeof(StationRecord), 98u);
  EXPECT_EQ(sizeof(ServiceRecord), 1041u);
  EXPECT_EQ(sizeof(AvgPosition), 20u);
  EXPECT_EQ(sizeof(rin2obn::ConverterRequest), 2672u);

  EXPECT_EQ(sizeof(Serv_Sta), 32u);
  EXPECT_EQ(offsetof(Serv_Sta, pStations), 8u);
  EXPECT_EQ(offsetof(Serv_Sta, pServices), 16u);
  EXPECT_EQ(offsetof(Serv_Sta, iNumStations), 24u);
  EXPECT_EQ(offsetof(Serv_Sta, iNumServices), 28u);

  EXPECT_EQ(sizeof(rin2obn::ConverterCallbacks), 280u);
  EXPECT_EQ(offsetof(rin2obn::ConverterCallbacks, message), 8u);
  EXPECT_EQ(offsetof(rin2obn::ConverterCallbacks, progress), 16u);

  EXPECT_EQ(sizeof(InterpolationRequest), 5404u);
  EXPECT_EQ(offsetof(InterpolationRequest, progress), 5388u);
  EXPECT_EQ(offsetof(InterpolationRequest, message), 5396u);

  EXPECT_EQ(offsetof(UnzipCommand, messageCallback), 12u);
  EXPECT_EQ(offsetof(UnzipCommand, extractFlag), 60u);
  EXPECT_EQ(offsetof(UnzipCommand, archive), 72u);
  EXPECT_EQ(offsetof(UnzipCommand, optionBits), 80u);
  EXPECT_EQ(offsetof(UnzipCommand, fileSpecs), 84u);
}
#endif

}  // namespace
