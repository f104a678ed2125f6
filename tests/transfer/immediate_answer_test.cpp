// Transfers through internet libraries that answer an asynchronous request
// with success at once: one that still carries the request out on a thread
// of its own and completes it later, and one whose answer was final.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "base/last_error.h"
#include "base/request_state.h"
#include "base/status_channel.h"
#include "result_codes.h"
#include "stanvex.h"
#include "status_recorder.h"
#include "test_support.h"
#include "transfer/connection.h"
#include "transfer/download.h"
#include "transfer/internet_binding.h"

namespace stanvex {
namespace {

using testing::OneOrZero;

using testing::Exists;
using testing::ReadFile;
using testing::ScratchDir;
using testing::StatusRecorder;
using testing::WriteFile;

// What the stand-in FtpGetFileA does after answering 1.
struct LateWork {
  bool notify = true;          // works on its own thread and notifies
  bool succeed = true;         // the completion's result word
  uint32_t error = 0;          // the completion's error
  std::string content;         // written to the local file on success
  uint32_t dataPhaseMs = 0;    // silence between the first notification and the end
  std::atomic<bool> cancelled{false};
  std::thread worker;
};
LateWork late;

void SendStatus(DWORD status, DWORD_PTR result, DWORD error) {
  INTERNET_ASYNC_RESULT info{result, error};
  InternetStatusHandler(nullptr, 1, status, &info, sizeof info);
}

BOOL WININET_CALL AnswerAtOnce(HINTERNET, const char*, const char* local, BOOL, DWORD, DWORD,
                               DWORD_PTR) {
  const std::string path = local;
  if (!late.notify) {
    WriteFile(path, late.content);
    return 1;
  }
  late.worker = std::thread([path] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    DWORD bytes = 20;
    InternetStatusHandler(nullptr, 1, INTERNET_STATUS_RESPONSE_RECEIVED, &bytes, sizeof bytes);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(late.dataPhaseMs);
    while (std::chrono::steady_clock::now() < end) {
      if (late.cancelled) return;  // closed: no completion follows
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (late.succeed) WriteFile(path, late.content);
    SendStatus(INTERNET_STATUS_REQUEST_COMPLETE, late.succeed ? 1 : 0, late.error);
  });
  return 1;
}

class ImmediateAnswerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLibraryStateForTesting();
    recorder_ = std::make_unique<StatusRecorder>();
    saved_ = Internet;
    Internet.FtpGetFileA = AnswerAtOnce;
    late.notify = true;
    late.succeed = true;
    late.error = 0;
    late.content = "day file";
    late.dataPhaseMs = 100;
    late.cancelled = false;
  }
  void TearDown() override {
    if (late.worker.joinable()) late.worker.join();
    Internet = saved_;
  }

  int Get(const std::string& local) {
    TransferChannelScope channel;
    HINTERNET connection = reinterpret_cast<HINTERNET>(7);
    return OneOrZero(GetFile(LibraryTransferLink(), &connection, "/pub/day.Z", local.c_str(), 2));
  }

  InternetBinding saved_;
  ScratchDir scratch_;
  std::unique_ptr<StatusRecorder> recorder_;
};

TEST_F(ImmediateAnswerTest, SuccessAnsweredAtOnceWaitsForTheLateCompletion) {
  // The data phase sends nothing for longer than the quiet limit.
  late.dataPhaseMs = kLateCompletionQuietMs + 500;
  const std::string local = scratch_.File("day.Z");
  ASSERT_EQ(Get(local), 1) << LastErrorText;
  // The transfer counted as done only once the completion had come.
  EXPECT_EQ(ReadFile(local), "day file");
  EXPECT_EQ(recorder_->Count(STATUS_FTP_REQUEST_DONE), 1);
  EXPECT_TRUE(recorder_->Has(STATUS_TEXT, "File Downloaded"));
}

TEST_F(ImmediateAnswerTest, LateFailureKeepsItsReason) {
  late.succeed = false;
  late.error = ERROR_INTERNET_ITEM_NOT_FOUND;
  const std::string local = scratch_.File("day.Z");
  EXPECT_EQ(Get(local), 0);
  EXPECT_FALSE(Exists(local));
  EXPECT_EQ(std::string(LastErrorText),
            "Error unable to download file " + local +
                ".\n    the file does not exist on the FTP server");
}

TEST_F(ImmediateAnswerTest, SilentLibraryMeantItsAnswer) {
  late.notify = false;
  const std::string local = scratch_.File("day.Z");
  EXPECT_EQ(Get(local), 1) << LastErrorText;
  EXPECT_EQ(ReadFile(local), "day file");
  EXPECT_EQ(recorder_->Count(STATUS_FTP_REQUEST_DONE), 0);
}

TEST_F(ImmediateAnswerTest, StopEndsTheWaitForALateCompletion) {
  late.dataPhaseMs = 2000;
  const std::string local = scratch_.File("day.Z");
  std::thread stopper([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    StopFtpProcessing();
  });
  // Closing cancels the request and waits for the library's thread.
  Internet.InternetCloseHandle = [](HINTERNET) -> BOOL {
    late.cancelled = true;
    if (late.worker.joinable()) late.worker.join();
    return 1;
  };
  EXPECT_EQ(Get(local), 0);
  stopper.join();
  EXPECT_EQ(std::string(LastErrorText), "FTPGETFILE ended at the user's request");
}

}  // namespace
}  // namespace stanvex
