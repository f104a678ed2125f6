#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/last_error.h"
#include "base/request_state.h"
#include "base/status_channel.h"
#include "stanvex.h"

namespace stanvex {
namespace {

std::vector<StatusRecord> g_seen;
void STANVEX_CALL Record(StatusRecord* record) { g_seen.push_back(*record); }

class LibraryStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLibraryStateForTesting();
    g_seen.clear();
  }
};

bool AllZeroFrom(const StatusRecord& r, size_t from, size_t to) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&r);
  for (size_t i = from; i < to; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

TEST_F(LibraryStateTest, RecordLayoutsAreExact) {
  EXPECT_EQ(sizeof(StatusRecord), 560u);
  EXPECT_EQ(offsetof(StatusRecord, code), 512u);
  EXPECT_EQ(offsetof(StatusRecord, value4), 528u);
  EXPECT_EQ(offsetof(StatusRecord, real), 536u);
  EXPECT_EQ(sizeof(StationRecord), 98u);
  EXPECT_EQ(offsetof(StationRecord, lat), 46u);
  EXPECT_EQ(offsetof(StationRecord, serv), 66u);
  EXPECT_EQ(sizeof(ServiceRecord), 1041u);
  EXPECT_EQ(offsetof(ServiceRecord, Ftype), 172u);
  EXPECT_EQ(offsetof(ServiceRecord, staIcon), 1009u);
  EXPECT_EQ(sizeof(AvgPosition), 20u);
}

TEST_F(LibraryStateTest, LastErrorStartsEmptyAndNullBufferIsRefused) {
  char buffer[512];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(iGetLastError(buffer), 0);
  EXPECT_STREQ(buffer, "");
  SetLastErrorText("Error %s", "one");
  EXPECT_EQ(iGetLastError(nullptr), -1);
  EXPECT_EQ(iGetLastError(buffer), 0);
  EXPECT_STREQ(buffer, "Error one");
  // Reading does not clear it.
  EXPECT_EQ(iGetLastError(buffer), 0);
  EXPECT_STREQ(buffer, "Error one");
}

TEST_F(LibraryStateTest, LongMessagesAreCutNotOverflowed) {
  std::string long_path(2000, 'p');
  SetLastErrorText("Path is too long %s", long_path.c_str());
  EXPECT_EQ(std::strlen(LastErrorText), 511u);
  AppendLastErrorText("more");
  EXPECT_EQ(std::strlen(LastErrorText), 511u);
}

TEST_F(LibraryStateTest, SentRecordsAreZeroOutsideTheirFields) {
  SetCallBack(&Record);
  StatusRecord record;
  std::memset(&record, 0xAB, sizeof record);
  SendStatus(GetCallBack(), &record, STATUS_TEXT, "FTP Starting");
  std::memset(&record, 0xAB, sizeof record);
  SendErrorStatus(GetCallBack(), &record, "Error in iFTP");
  std::memset(&record, 0xAB, sizeof record);
  SendStatus(GetCallBack(), &record, STATUS_CONVERT_DONE, nullptr, 1, 2, 3, 4);
  ASSERT_EQ(g_seen.size(), 3u);
  EXPECT_STREQ(g_seen[0].text, "FTP Starting");
  EXPECT_EQ(g_seen[0].code, STATUS_TEXT);
  EXPECT_TRUE(AllZeroFrom(g_seen[0], std::strlen("FTP Starting"), 512));
  EXPECT_TRUE(AllZeroFrom(g_seen[0], 516, 560));
  EXPECT_EQ(g_seen[1].code, STATUS_ERROR);
  EXPECT_STREQ(g_seen[1].text, "Error in iFTP");
  EXPECT_TRUE(AllZeroFrom(g_seen[1], 516, 560));
  EXPECT_TRUE(AllZeroFrom(g_seen[2], 0, 512));
  EXPECT_EQ(g_seen[2].value4, 4);
  EXPECT_TRUE(AllZeroFrom(g_seen[2], 532, 560));
}

TEST_F(LibraryStateTest, NoCallbackOrNoRecordSendsNothing) {
  StatusRecord record{};
  SendStatus(GetCallBack(), &record, STATUS_TEXT, "x");
  EXPECT_EQ(SendErrorStatus(GetCallBack(), nullptr, "h"), 0);
  SetCallBack(&Record);
  SendStatus(GetCallBack(), nullptr, STATUS_TEXT, "x");
  FrameSend(STATUS_TEXT, "no frame record yet");
  EXPECT_TRUE(g_seen.empty());
  EXPECT_EQ(SetCallBack(nullptr), nullptr);
}

TEST_F(LibraryStateTest, StopCounterCounts) {
  EXPECT_EQ(StopFtpProcessing(), 0);
  EXPECT_EQ(StopFtpProcessing(), 0);
  EXPECT_EQ(FtpStopCount.load(), 2);
}

TEST_F(LibraryStateTest, StatusChannelUsesTheCallbackTakenAtStart) {
  SetCallBack(&Record);
  StatusChannel channel;
  SetCallBack(nullptr);
  channel.Text("still reported");
  ASSERT_EQ(g_seen.size(), 1u);
  EXPECT_STREQ(g_seen[0].text, "still reported");
}

TEST_F(LibraryStateTest, StatusChannelsTakeTheCallbackWhenTheirComponentSays) {
  SetCallBack(&Record);
  StatusChannel later(StatusChannel::CallBack::kTakenLater);
  later.Text("before taking");
  EXPECT_TRUE(g_seen.empty());
  later.TakeCallBack();
  later.Text("taken");
  later.DropCallBack();
  later.Text("dropped");
  ASSERT_EQ(g_seen.size(), 1u);
  EXPECT_STREQ(g_seen[0].text, "taken");

  // A shared record read at each send follows the registration; the record
  // is the one the host receives, and no record sends nothing.
  StatusRecord shared{};
  StatusChannel live(StatusChannel::CallBack::kReadAtEachSend, &shared);
  SetCallBack(nullptr);
  live.Error("heading");
  EXPECT_EQ(g_seen.size(), 1u);
  EXPECT_EQ(shared.code, STATUS_ERROR);  // the error record is filled without a callback
  SetCallBack(&Record);
  live.Send(STATUS_DAY_DONE, nullptr, 1, 2);
  ASSERT_EQ(g_seen.size(), 2u);
  EXPECT_EQ(g_seen[1].value2, 2);
  live.Clear();
  EXPECT_TRUE(AllZeroFrom(shared, 0, sizeof shared));
  StatusChannel(StatusChannel::CallBack::kReadAtEachSend, nullptr).Text("nowhere");
  EXPECT_EQ(g_seen.size(), 2u);
}

}  // namespace
}  // namespace stanvex
