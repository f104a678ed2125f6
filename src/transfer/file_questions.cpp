#include "transfer/file_questions.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>

#include "base/request_state.h"
#include "platform/platform.h"
#include "transfer/transfer_errors.h"

namespace stanvex {
namespace {

// The questions of one address and login, taken in turn by its connections.
struct AddressQueue {
  std::vector<FileQuestion*> questions;
  std::mutex mutex;
  size_t next = 0;
  std::atomic<int32_t> connected{0};
  uint32_t connectError = 0;  // the last connection's failure (guarded by mutex)

  FileQuestion* Take() {
    std::lock_guard<std::mutex> lock(mutex);
    return next < questions.size() ? questions[next++] : nullptr;
  }
};

// One connection's work: log in, then ask questions of its queue until none
// is left. A connection that cannot be made leaves the questions to the
// others; the last one to fail gives its error.
void AskOverOneConnection(const InternetBinding& binding, HINTERNET session, AddressQueue* queue,
                          const std::atomic<bool>* stopping) {
  const FileQuestion& first = *queue->questions.front();
  const AddressLogin& login = first.login;
  const bool bearer = (login.flags & STANVEX_FLAG_BEARER_TOKEN) != 0;
  const char* user = login.user != nullptr ? login.user : "anonymous";
  const char* password = login.password != nullptr || bearer ? login.password : "anonymous@";
  HINTERNET connection = binding.InternetConnectA(session, first.address.c_str(), 0, user,
                                                  password, INTERNET_SERVICE_FTP,
                                                  ConnectFlagsFor(binding, login.flags), 0);
  if (connection == nullptr) {
    std::lock_guard<std::mutex> lock(queue->mutex);
    queue->connectError = static_cast<uint32_t>(platform::LastSystemError());
    return;
  }
  queue->connected.fetch_add(1);
  while (!stopping->load()) {
    FileQuestion* question = queue->Take();
    if (question == nullptr) break;
    question->outcome = FileQuestion::Outcome::kMissing;
    for (const std::string& path : question->paths) {
      WIN32_FIND_DATAA data{};
      HINTERNET found =
          binding.FtpFindFirstFileA(connection, path.c_str(), &data, INTERNET_FLAG_RELOAD, 0);
      if (found != nullptr) {
        question->outcome = FileQuestion::Outcome::kPresent;
        question->found = path;
        if (data.nFileSizeHigh != STANVEX_SIZE_UNKNOWN || data.nFileSizeLow != STANVEX_SIZE_UNKNOWN)
          question->size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        binding.InternetCloseHandle(found);
        break;
      }
      const uint32_t error = static_cast<uint32_t>(platform::LastSystemError());
      if (!IsMissingFileError(error, binding)) {
        question->outcome = FileQuestion::Outcome::kFailed;
        question->error = error;
        break;
      }
    }
  }
  binding.InternetCloseHandle(connection);
}

}  // namespace

bool IsMissingFileError(uint32_t error, const InternetBinding& binding) {
  if (error == ERROR_NO_MORE_FILES || error == ERROR_INTERNET_ITEM_NOT_FOUND) return true;
#if defined(_WIN32)
  // The system's wininet reports every refusal of an FTP server as an
  // extended error (the reply is read separately): as for downloads, it
  // counts as a missing file.
  return error == ERROR_INTERNET_EXTENDED_ERROR &&
         std::strcmp(binding.name, kSystemInternetLibrary) == 0;
#else
  (void)binding;
  return false;
#endif
}

std::string QuestionFailureText(uint32_t error, const AddressLogin& login) {
  if ((login.flags & STANVEX_FLAG_BEARER_TOKEN) != 0 && IsTokenRefusal(error))
    return "token needed (es login, then es user get-access-token)";
  switch (error) {
    case ERROR_INTERNET_INCORRECT_PASSWORD:
      return "login refused";
    case ERROR_ACCESS_DENIED:
      return "access denied";
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
      return "a web page answered: a login may be needed";
    case ERROR_INTERNET_CANNOT_CONNECT:
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
    case ERROR_INTERNET_TIMEOUT:
      return "cannot be reached";
    case ERROR_INTERNET_INVALID_CA:
      return "certificate not trusted";
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
      return "certificate for another host";
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
      return "an address of a kind not used";
    case ERROR_PATH_NOT_FOUND:
      return "its folder does not exist";
    default: {
      char text[48];
      std::snprintf(text, sizeof text, "error %u", static_cast<unsigned>(error));
      return text;
    }
  }
}

Result AskSideBySide(const InternetBinding& binding, const std::vector<FileQuestion*>& questions) {
  const bool gateway = platform::GatewayHostResolves("ftp-gw");
  HINTERNET session = binding.InternetOpenA(
      "Microsoft Internet Explorer", gateway ? INTERNET_OPEN_TYPE_PROXY : INTERNET_OPEN_TYPE_DIRECT,
      gateway ? "ftp-gw" : nullptr, nullptr, 0);
  if (session == nullptr)
    return Result::Failure(nullptr, "%s",
                           "Error Connecting to the Internet. Check to Make sure you have an "
                           "Internet Connection");

  using Key = std::tuple<std::string, std::string, std::string, DWORD>;
  std::map<Key, std::unique_ptr<AddressQueue>> queues;
  for (FileQuestion* question : questions) {
    const AddressLogin& login = question->login;
    Key key{question->address, login.user != nullptr ? login.user : "",
            login.password != nullptr ? login.password : "", login.flags};
    std::unique_ptr<AddressQueue>& queue = queues[key];
    if (!queue) queue = std::make_unique<AddressQueue>();
    queue->questions.push_back(question);
  }
  std::atomic<bool> stopping{false};
  std::atomic<int32_t> running{0};
  std::vector<std::thread> threads;
  for (auto& [key, queue] : queues) {
    const size_t count = queue->questions.size() < static_cast<size_t>(kConnectionsPerAddress)
                             ? queue->questions.size()
                             : static_cast<size_t>(kConnectionsPerAddress);
    for (size_t i = 0; i < count; ++i) {
      running.fetch_add(1);
      AddressQueue* each = queue.get();
      threads.emplace_back([&binding, session, each, &stopping, &running] {
        AskOverOneConnection(binding, session, each, &stopping);
        running.fetch_sub(1);
      });
    }
  }
  // Closing the session ends the requests in flight: that is how a stop
  // reaches threads that wait on a server.
  bool stopped = false;
  while (running.load() > 0) {
    platform::SleepMilliseconds(5);
    if (!stopped && FtpStopCount.load() != 0) {
      stopped = true;
      stopping = true;
      binding.InternetCloseHandle(session);
    }
  }
  for (std::thread& thread : threads) thread.join();
  if (!stopped) binding.InternetCloseHandle(session);
  if (stopped)
    return Result::Failure(nullptr, "%s",
                           "User requested to shutdown.  Datacollator has been stopped");
  for (auto& [key, queue] : queues) {
    if (queue->connected.load() != 0) continue;
    for (FileQuestion* question : queue->questions) {
      question->outcome = FileQuestion::Outcome::kFailed;
      question->error = queue->connectError;
    }
  }
  return Result::Success();
}

}  // namespace stanvex
