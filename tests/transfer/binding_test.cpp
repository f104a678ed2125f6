// Binding of the internet library, the status handler and the completion
// wait.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "base/last_error.h"
#include "base/request_state.h"
#include "result_codes.h"
#include "status_recorder.h"
#include "test_support.h"
#include "transfer/connection.h"

namespace stanvex {
namespace {

using testing::CodeOf;

class BindingTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetLibraryStateForTesting(); }
};

TEST_F(BindingTest, OurLibraryHasAllFiveEntryPoints) {
  InternetBinding binding;
  ASSERT_EQ(CodeOf(BindInternetLibrary("wininet.dll", &binding)), 0) << LastErrorText;
  EXPECT_NE(binding.InternetOpenA, nullptr);
  EXPECT_NE(binding.InternetConnectA, nullptr);
  EXPECT_NE(binding.FtpGetFileA, nullptr);
  EXPECT_NE(binding.InternetCloseHandle, nullptr);
  EXPECT_NE(binding.InternetSetStatusCallback, nullptr);
  platform::FreeLibrary(binding.module);
}

TEST_F(BindingTest, MissingLibraryIsMinusOne) {
  InternetBinding binding;
  EXPECT_EQ(CodeOf(BindInternetLibrary("NOSUCHINET.DLL", &binding)), -1);
  EXPECT_STREQ(LastErrorText, "Error loading library NOSUCHINET.DLL");
}

TEST_F(BindingTest, MissingFtpGetFileIsThreeAndReleasesTheLibrary) {
  InternetBinding binding;
  EXPECT_EQ(CodeOf(BindInternetLibrary("BROKENINET.DLL", &binding)), 3);
  EXPECT_STREQ(LastErrorText, "Error opening function FtpGetFileA in BROKENINET.DLL");
  EXPECT_EQ(binding.module, nullptr);
  EXPECT_EQ(binding.InternetOpenA, nullptr);
  std::string path = stanvex::testing::OutDir() + "/libbrokeninet.so";
  EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "the library was released";
}

class HandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLibraryStateForTesting();
    Transfer.completions = 0;
    Transfer.bytesReceived = 0;
    Transfer.transferStart = 0;
  }
  void Bytes(DWORD count) {
    InternetStatusHandler(nullptr, 0, INTERNET_STATUS_RESPONSE_RECEIVED, &count, sizeof count);
  }
};

TEST_F(HandlerTest, BytesDuringAConnectionAreReportedInKilobytes) {
  stanvex::testing::StatusRecorder recorder;
  TransferChannelScope channel;
  Bytes(1500);
  Bytes(1000);
  auto seen = recorder.All();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].code, STATUS_FTP_RECEIVED);
  EXPECT_EQ(seen[1].value1, 2) << "2500 bytes >> 10";
  EXPECT_EQ(Transfer.bytesReceived.load(), 2500u);
}

TEST_F(HandlerTest, BytesDuringATransferCarryTheRate) {
  stanvex::testing::StatusRecorder recorder;
  TransferChannelScope channel;
  Transfer.transferStart = platform::TickCount() - 1000;
  Bytes(10240);
  auto seen = recorder.All();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].code, STATUS_FTP_RECEIVED_RATE);
  EXPECT_EQ(seen[0].value1, 10);
  EXPECT_GT(seen[0].real, 0.0);
  EXPECT_LE(seen[0].real, 10.0) << "10 KiB in at least one second";
}

TEST_F(HandlerTest, CompletionStoresResultAndErrorAndCounts) {
  stanvex::testing::StatusRecorder recorder;
  {
    TransferChannelScope channel;
    INTERNET_ASYNC_RESULT result{7, 0};
    InternetStatusHandler(nullptr, 0, INTERNET_STATUS_REQUEST_COMPLETE, &result, sizeof result);
  }
  EXPECT_EQ(Transfer.completions.load(), 1);
  EXPECT_EQ(Transfer.result.load(), 7u);
  ASSERT_EQ(recorder.Count(STATUS_FTP_REQUEST_DONE), 1);
  EXPECT_EQ(recorder.All()[0].value1, 7);

  // Without a channel nothing is sent, but the completion still counts.
  INTERNET_ASYNC_RESULT failed{0, ERROR_DISK_FULL};
  InternetStatusHandler(nullptr, 0, INTERNET_STATUS_REQUEST_COMPLETE, &failed, sizeof failed);
  EXPECT_EQ(Transfer.completions.load(), 2);
  EXPECT_EQ(Transfer.lastError.load(), static_cast<uint32_t>(ERROR_DISK_FULL));
  EXPECT_EQ(recorder.All().size(), 1u);
}

TEST_F(HandlerTest, WaitEndsByCompletionStopOrTimeOut) {
  std::atomic<int32_t> counter{1};
  EXPECT_EQ(WaitForCompletion(counter, 0, FtpStopCount), 0);
  counter = 0;
  EXPECT_EQ(WaitForCompletion(counter, 20, FtpStopCount), 1);
  FtpStopCount = 1;
  EXPECT_EQ(WaitForCompletion(counter, 0, FtpStopCount), 2);
}

}  // namespace
}  // namespace stanvex
