// The objects behind internet handles and the table that hands them out.
//
// Handle values are numbers from a counter, never reused, so a stale or
// doubly closed handle finds nothing instead of another object. Objects are
// shared: a request's thread keeps its connection alive until it ends.
#ifndef STANVEX_WININET_HANDLES_H
#define STANVEX_WININET_HANDLES_H

#include <curl/curl.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "address.h"
#include "wininet_api.h"

namespace stanvex::wininet {

struct InternetObject {
  enum class Kind { kSession, kConnection, kFind };
  explicit InternetObject(Kind k) : kind(k) {}
  virtual ~InternetObject() = default;

  const Kind kind;
  HINTERNET handle = nullptr;
  std::atomic<INTERNET_STATUS_CALLBACK> callback{nullptr};
};

struct SessionObject : InternetObject {
  SessionObject() : InternetObject(Kind::kSession) {}
  ~SessionObject() override;
  bool async = false;
  // "" for a direct connection, else the gateway URL (see GatewayProxy).
  std::string proxy;
  // The cookies every HTTPS request of the session shares (a login host's
  // session cookie, say), kept in memory and gone with the session. Made on
  // first use; the connections that use it keep the session alive.
  CURLSH* SharedCookies();
  std::mutex childrenMutex;
  std::vector<HINTERNET> children;

 private:
  static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self);
  static void Unlock(CURL*, curl_lock_data data, void* self);
  std::mutex shareMutex_;
  CURLSH* share_ = nullptr;
  std::mutex locks_[CURL_LOCK_DATA_LAST];
};

struct ConnectionObject : InternetObject {
  ConnectionObject() : InternetObject(Kind::kConnection) {}
  ~ConnectionObject() override;

  std::shared_ptr<SessionObject> session;
  ServerAddress address;
  std::string user;
  std::string password;
  bool passwordGiven = false;  // the caller gave a password (not the anonymous default)
  bool bearer = false;          // STANVEX_FLAG_BEARER_TOKEN over HTTPS: the password is a bearer token
  // STANVEX_FLAG_BEARER_TOKEN over any other scheme: an anonymous login
  // only, never the host's netrc entry (which holds the service's token).
  bool anonymousOnly = false;
  std::string proxy;
  DWORD_PTR connectContext = 0;
  // Set when the handle is closed: the running request aborts and sends
  // nothing more.
  std::atomic<bool> cancelled{false};

  // Guards easy, multi, worker and busy.
  std::mutex requestMutex;
  CURL* easy = nullptr;  // kept across requests so the FTP login is reused
  CURLM* multi = nullptr;  // runs easy's requests and keeps its connection between them
  std::thread worker;
  bool busy = false;

  // Ends the request thread (waits for it unless called on it).
  void EndWorker();
  // Closes the server connection and frees its transfer handles; a later
  // request starts a new one.
  void CloseTransfer();
};

// What FtpFindFirstFileA hands out: nothing to keep but its handle.
struct FindObject : InternetObject {
  FindObject() : InternetObject(Kind::kFind) {}
};

class HandleTable {
 public:
  static HandleTable& Instance();
  HINTERNET Add(const std::shared_ptr<InternetObject>& object);
  std::shared_ptr<InternetObject> Find(HINTERNET handle);
  // Removes and returns the object, or null when the handle is unknown.
  std::shared_ptr<InternetObject> Remove(HINTERNET handle);

 private:
  std::mutex mutex_;
  std::vector<std::shared_ptr<InternetObject>> objects_;
  uintptr_t next_ = 0x1000;
};

// Closes a handle: a connection cancels its request and waits for its thread;
// a session closes its connections first. False when the handle is unknown.
bool CloseInternetHandle(HINTERNET handle);

}  // namespace stanvex::wininet

#endif  // STANVEX_WININET_HANDLES_H
