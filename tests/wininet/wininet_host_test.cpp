// Drives libwininet.so the way a foreign host does: loaded with dlopen,
// entry points found by name, a status handler installed, and every request
// followed to its completion notification. Runs against the loopback server.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ftp_fixture.h"
#include "test_support.h"
#include "wininet_api.h"

namespace {

using stanvex::testing::FtpServer;
using stanvex::testing::FtpServerOptions;
using stanvex::testing::ReadFile;
using stanvex::testing::ScratchDir;
using stanvex::testing::WriteFile;

// What the status handler saw, shared with the handler's thread.
struct Notifications {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<DWORD> statuses;
  std::vector<INTERNET_ASYNC_RESULT> completions;
  uint64_t bytes = 0;
  std::thread::id handler_thread;
  // The process's descriptors as each completion arrived.
  std::vector<std::map<int, std::string>> descriptors;

  // Waits (bounded) until `count` completions have arrived.
  bool WaitForCompletions(size_t count, int seconds = 30) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(seconds),
                            [&] { return completions.size() >= count; });
  }
  bool WaitForBytes(uint64_t atLeast, int seconds = 30) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(seconds), [&] { return bytes >= atLeast; });
  }
};

Notifications* current = nullptr;

void WININET_CALL HostHandler(HINTERNET, DWORD_PTR, DWORD status, LPVOID info, DWORD length) {
  std::lock_guard<std::mutex> lock(current->mutex);
  current->statuses.push_back(status);
  current->handler_thread = std::this_thread::get_id();
  if (status == INTERNET_STATUS_REQUEST_COMPLETE && length >= sizeof(INTERNET_ASYNC_RESULT)) {
    current->completions.push_back(*static_cast<INTERNET_ASYNC_RESULT*>(info));
    current->descriptors.push_back(stanvex::testing::OpenDescriptors());
  }
  if (status == INTERNET_STATUS_RESPONSE_RECEIVED && length >= sizeof(DWORD))
    current->bytes += *static_cast<DWORD*>(info);
  current->changed.notify_all();
}

class WininetHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string path = stanvex::testing::OutDir() + "/libwininet.so";
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
    open_ = reinterpret_cast<InternetOpenA_fn>(dlsym(library_, "InternetOpenA"));
    connect_ = reinterpret_cast<InternetConnectA_fn>(dlsym(library_, "InternetConnectA"));
    get_ = reinterpret_cast<FtpGetFileA_fn>(dlsym(library_, "FtpGetFileA"));
    close_ = reinterpret_cast<InternetCloseHandle_fn>(dlsym(library_, "InternetCloseHandle"));
    set_callback_ = reinterpret_cast<InternetSetStatusCallback_fn>(
        dlsym(library_, "InternetSetStatusCallback"));
    ASSERT_TRUE(open_ && connect_ && get_ && close_ && set_callback_);
    current = &seen_;
    std::filesystem::create_directories(root_.path() + "/pub/rinex");
    content_ = ReadFile(stanvex::testing::SharedData("compress/brdc2800.15n.Z"));
    WriteFile(root_.path() + "/pub/rinex/brdc2800.15n.Z", content_);
  }
  void TearDown() override {
    if (session_ != nullptr) close_(session_);
    current = nullptr;
  }

  HINTERNET OpenSession(DWORD flags = INTERNET_FLAG_ASYNC) {
    session_ = open_("test host", INTERNET_OPEN_TYPE_PROXY, "ftp-gw", nullptr, flags);
    EXPECT_NE(session_, nullptr);
    EXPECT_NE(set_callback_(session_, HostHandler), INTERNET_INVALID_STATUS_CALLBACK);
    return session_;
  }

  // Connects asynchronously; returns the connection from the completion.
  HINTERNET Connect(const std::string& address, const char* user = nullptr,
                    const char* password = nullptr) {
    size_t before = seen_.completions.size();
    errno = 0;
    HINTERNET answer =
        connect_(session_, address.c_str(), 0, user, password, INTERNET_SERVICE_FTP, 0, 1);
    EXPECT_EQ(answer, nullptr);
    EXPECT_EQ(errno, ERROR_IO_PENDING);
    EXPECT_TRUE(seen_.WaitForCompletions(before + 1));
    std::lock_guard<std::mutex> lock(seen_.mutex);
    return reinterpret_cast<HINTERNET>(seen_.completions.back().dwResult);
  }

  INTERNET_ASYNC_RESULT Get(HINTERNET connection, const char* remote, const std::string& local) {
    size_t before = seen_.completions.size();
    errno = 0;
    EXPECT_FALSE(get_(connection, remote, local.c_str(), 0, FILE_ATTRIBUTE_NORMAL,
                      FTP_TRANSFER_TYPE_BINARY, 2));
    EXPECT_EQ(errno, ERROR_IO_PENDING);
    EXPECT_TRUE(seen_.WaitForCompletions(before + 1));
    std::lock_guard<std::mutex> lock(seen_.mutex);
    return seen_.completions.back();
  }

  void* library_ = nullptr;
  InternetOpenA_fn open_ = nullptr;
  InternetConnectA_fn connect_ = nullptr;
  FtpGetFileA_fn get_ = nullptr;
  InternetCloseHandle_fn close_ = nullptr;
  InternetSetStatusCallback_fn set_callback_ = nullptr;
  HINTERNET session_ = nullptr;
  Notifications seen_;
  ScratchDir root_;
  ScratchDir local_;
  std::string content_;
};

TEST(WininetExports, ExactlyTheFiveEntryPointsAndFtpFindFirstFileA) {
  std::string command = "nm -D --defined-only " + stanvex::testing::OutDir() + "/libwininet.so";
  FILE* listing = popen(command.c_str(), "r");
  ASSERT_NE(listing, nullptr);
  std::set<std::string> exported;
  char line[512];
  while (std::fgets(line, sizeof line, listing) != nullptr) {
    char address[64], type[8], name[256];
    if (std::sscanf(line, "%63s %7s %255s", address, type, name) == 3 && type[0] == 'T')
      exported.insert(name);
  }
  pclose(listing);
  EXPECT_EQ(exported, (std::set<std::string>{"InternetOpenA", "InternetConnectA", "FtpGetFileA",
                                             "InternetCloseHandle", "InternetSetStatusCallback",
                                             "FtpFindFirstFileA"}));
}

// FtpFindFirstFileA tells a file's size without fetching it (FTP SIZE, a
// stat of a file:// path) and a missing one by ERROR_NO_MORE_FILES; the find
// handle of the completion closes like any other.
TEST_F(WininetHostTest, FindFirstFileTellsSizeOrAbsenceWithoutFetching) {
  auto find = reinterpret_cast<FtpFindFirstFileA_fn>(dlsym(library_, "FtpFindFirstFileA"));
  ASSERT_NE(find, nullptr);
  FtpServerOptions options;
  options.root = root_.path();
  FtpServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  OpenSession();
  for (const std::string& address : {server.Address(), "file://" + root_.path()}) {
    HINTERNET connection = Connect(address);
    ASSERT_NE(connection, nullptr) << address;
    for (const char* path : {"/pub/rinex/brdc2800.15n.Z", "/pub/rinex/none.15n.Z", "/no/x.Z"}) {
      const bool there = std::strstr(path, "brdc") != nullptr;
      WIN32_FIND_DATAA data{};
      size_t before = seen_.completions.size();
      errno = 0;
      EXPECT_EQ(find(connection, path, &data, 0, 7), nullptr);
      EXPECT_EQ(errno, ERROR_IO_PENDING);
      ASSERT_TRUE(seen_.WaitForCompletions(before + 1));
      const INTERNET_ASYNC_RESULT result = seen_.completions.back();
      EXPECT_EQ(result.dwResult != 0, there) << address << path;
      EXPECT_EQ(result.dwError, there ? 0u : static_cast<DWORD>(ERROR_NO_MORE_FILES)) << path;
      if (!there) continue;
      EXPECT_EQ(data.nFileSizeLow, content_.size()) << address;
      EXPECT_EQ(data.nFileSizeHigh, 0u);
      EXPECT_STREQ(data.cFileName, "brdc2800.15n.Z");
      EXPECT_TRUE(close_(reinterpret_cast<HINTERNET>(result.dwResult)));
    }
  }
  EXPECT_EQ(server.CountLog("RETR"), 0);
}

TEST_F(WininetHostTest, AsyncLoginAndTransferCompleteOnTheLibrarysThread) {
  FtpServerOptions options;
  options.root = root_.path();
  FtpServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  OpenSession();
  HINTERNET connection = Connect(server.Address());
  ASSERT_NE(connection, nullptr);
  EXPECT_NE(seen_.handler_thread, std::this_thread::get_id());
  EXPECT_GT(seen_.bytes, 0u) << "the server's replies count as bytes received";

  uint64_t before = seen_.bytes;
  std::string local = local_.File("nav.Z");
  INTERNET_ASYNC_RESULT result = Get(connection, "/pub/rinex/brdc2800.15n.Z", local);
  EXPECT_EQ(result.dwResult, 1u);
  EXPECT_EQ(result.dwError, 0u);
  EXPECT_EQ(ReadFile(local), content_);
  EXPECT_EQ(seen_.bytes - before, content_.size());
  EXPECT_FALSE(stanvex::testing::Exists(local + ".part"));
  EXPECT_EQ(server.CountLog("CONNECT"), 1) << "the login is reused by the transfer";
  EXPECT_EQ(server.CountLog("USER anonymous"), 1);
  EXPECT_EQ(server.CountLog("PASS anonymous@"), 1);
  EXPECT_EQ(server.CountLog("RETR /pub/rinex/brdc2800.15n.Z"), 1);
  EXPECT_TRUE(close_(connection));
  EXPECT_FALSE(close_(connection)) << "a closed handle is not found again";
}

TEST_F(WininetHostTest, FailedRequestsCarryTheirReasonInTheCompletion) {
  FtpServerOptions options;
  options.root = root_.path();
  options.drops = {{"*cut*", 1000}};
  WriteFile(root_.path() + "/pub/rinex/cut.Z", content_);
  FtpServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  OpenSession();
  HINTERNET connection = Connect(server.Address(), "someone", "secret");
  EXPECT_EQ(connection, nullptr) << "unknown account";
  EXPECT_EQ(seen_.completions.back().dwError,
            static_cast<DWORD>(ERROR_INTERNET_INCORRECT_PASSWORD));

  connection = Connect(server.Address());
  ASSERT_NE(connection, nullptr);
  std::string local = local_.File("kept");
  WriteFile(local, "previous");
  INTERNET_ASYNC_RESULT missing = Get(connection, "/pub/rinex/none.Z", local);
  EXPECT_EQ(missing.dwResult, 0u);
  EXPECT_EQ(missing.dwError, static_cast<DWORD>(ERROR_INTERNET_ITEM_NOT_FOUND));
  EXPECT_EQ(ReadFile(local), "previous") << "a failed transfer leaves the old file";

  INTERNET_ASYNC_RESULT cut = Get(connection, "/pub/rinex/cut.Z", local_.File("cut.Z"));
  EXPECT_EQ(cut.dwResult, 0u);
  EXPECT_EQ(cut.dwError, static_cast<DWORD>(ERROR_INTERNET_CONNECTION_ABORTED));
  EXPECT_FALSE(stanvex::testing::Exists(local_.File("cut.Z")));
  EXPECT_FALSE(stanvex::testing::Exists(local_.File("cut.Z.part")));
}

TEST_F(WininetHostTest, RefusedLoginCompletesWithZero) {
  FtpServerOptions options;
  options.root = root_.path();
  options.refuseLogin = true;
  FtpServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  OpenSession();
  const std::map<int, std::string> before = stanvex::testing::OpenDescriptors();
  EXPECT_EQ(Connect(server.Address()), nullptr);
  EXPECT_EQ(seen_.completions.back().dwResult, 0u);
  EXPECT_EQ(seen_.completions.back().dwError,
            static_cast<DWORD>(ERROR_INTERNET_INCORRECT_PASSWORD));
  // The failed connection is closed before the caller hears of it: a caller
  // that ends its work on the completion finds nothing left open.
  EXPECT_EQ(seen_.descriptors.back(), before)
      << "before:" << stanvex::testing::DescribeDescriptors(before)
      << "; at completion:" << stanvex::testing::DescribeDescriptors(seen_.descriptors.back());
}

// The loopback server speaks plain FTP only: both TLS schemes must refuse to
// go on without TLS rather than fall back to clear text.
TEST_F(WininetHostTest, TlsSchemesNeverFallBackToClearText) {
  FtpServerOptions options;
  options.root = root_.path();
  FtpServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  OpenSession();
  EXPECT_EQ(Connect("ftps://" + server.Address()), nullptr);
  EXPECT_EQ(seen_.completions.back().dwError,
            static_cast<DWORD>(ERROR_INTERNET_SECURITY_CHANNEL_ERROR));
  EXPECT_EQ(server.CountLog("USER "), 0) << "no password sent in clear";
  EXPECT_EQ(Connect("https://" + server.Address()), nullptr);
  EXPECT_EQ(seen_.completions.back().dwError,
            static_cast<DWORD>(ERROR_INTERNET_SECURITY_CHANNEL_ERROR));
}

TEST_F(WininetHostTest, ClosingTheConnectionCancelsItsTransferSilently) {
  FtpServerOptions options;
  options.root = root_.path();
  options.trickleBytesPerSecond = 4096;
  FtpServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  OpenSession();
  HINTERNET connection = Connect(server.Address());
  ASSERT_NE(connection, nullptr);
  uint64_t before = seen_.bytes;
  std::string local = local_.File("slow.Z");
  ASSERT_FALSE(get_(connection, "/pub/rinex/brdc2800.15n.Z", local.c_str(), 0,
                    FILE_ATTRIBUTE_NORMAL, FTP_TRANSFER_TYPE_BINARY, 2));
  ASSERT_TRUE(seen_.WaitForBytes(before + 1));
  EXPECT_TRUE(close_(connection));
  // Once close has returned, nothing more arrives for the handle (reports
  // sent while close was under way are allowed).
  size_t completions, notifications;
  {
    std::lock_guard<std::mutex> lock(seen_.mutex);
    completions = seen_.completions.size();
    notifications = seen_.statuses.size();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::lock_guard<std::mutex> lock(seen_.mutex);
  EXPECT_EQ(seen_.completions.size(), completions);
  EXPECT_EQ(seen_.statuses.size(), notifications);
  EXPECT_FALSE(stanvex::testing::Exists(local));
  EXPECT_FALSE(stanvex::testing::Exists(local + ".part"));
}

TEST_F(WininetHostTest, RequestsRefusedAtOnceSendNoNotification) {
  OpenSession();
  errno = 0;
  EXPECT_FALSE(get_(reinterpret_cast<HINTERNET>(0x7), "/x", local_.File("x").c_str(), 0, 0, 2, 2));
  EXPECT_EQ(errno, ERROR_INVALID_HANDLE);
  EXPECT_FALSE(get_(session_, "/x", local_.File("x").c_str(), 0, 0, 2, 2));
  EXPECT_EQ(errno, ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  EXPECT_EQ(connect_(session_, "bad host", 0, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 1),
            nullptr);
  EXPECT_EQ(errno, ERROR_INTERNET_INVALID_URL);
  EXPECT_EQ(connect_(session_, "gopher://x", 0, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 1),
            nullptr);
  EXPECT_EQ(errno, ERROR_INTERNET_UNRECOGNIZED_SCHEME);
  EXPECT_EQ(set_callback_(reinterpret_cast<HINTERNET>(0x7), HostHandler),
            INTERNET_INVALID_STATUS_CALLBACK);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::lock_guard<std::mutex> lock(seen_.mutex);
  EXPECT_TRUE(seen_.statuses.empty());
}

TEST_F(WininetHostTest, SecondRequestWhileOneRunsIsRefused) {
  FtpServerOptions options;
  options.root = root_.path();
  options.trickleBytesPerSecond = 4096;
  FtpServer server(options);
  ASSERT_TRUE(server.running()) << server.error();
  OpenSession();
  HINTERNET connection = Connect(server.Address());
  ASSERT_NE(connection, nullptr);
  ASSERT_FALSE(get_(connection, "/pub/rinex/brdc2800.15n.Z", local_.File("a").c_str(), 0, 0, 2, 2));
  EXPECT_FALSE(get_(connection, "/pub/rinex/brdc2800.15n.Z", local_.File("b").c_str(), 0, 0, 2, 2));
  EXPECT_EQ(errno, ERROR_FTP_TRANSFER_IN_PROGRESS);
  // Closing the session also closes and cancels its connection.
  EXPECT_TRUE(close_(session_));
  session_ = nullptr;
  EXPECT_FALSE(close_(connection));
}

TEST_F(WininetHostTest, FileAddressesAndSynchronousSessions) {
  OpenSession(0);
  HINTERNET connection = connect_(session_, ("file://" + root_.path()).c_str(), 0, nullptr, nullptr,
                                  INTERNET_SERVICE_FTP, 0, 1);
  ASSERT_NE(connection, nullptr) << "without the asynchronous flag the answer is direct";
  std::string local = local_.File("copy.Z");
  EXPECT_TRUE(get_(connection, "/pub/rinex/brdc2800.15n.Z", local.c_str(), 0, 0, 2, 2));
  EXPECT_EQ(ReadFile(local), content_);
  EXPECT_FALSE(get_(connection, "/pub/rinex/none.Z", local.c_str(), 0, 0, 2, 2));
  EXPECT_EQ(errno, ERROR_INTERNET_ITEM_NOT_FOUND);
  EXPECT_FALSE(get_(connection, "/pub/rinex/brdc2800.15n.Z", local.c_str(), 1, 0, 2, 2));
  EXPECT_EQ(errno, ERROR_FILE_EXISTS) << "fail-if-exists";
  EXPECT_EQ(
      connect_(session_, "file:///no/such/dir", 0, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 1),
      nullptr);
}

}  // namespace
