#include "handles.h"

#include <algorithm>

namespace stanvex::wininet {

SessionObject::~SessionObject() {
  if (share_ != nullptr) curl_share_cleanup(share_);
}

void SessionObject::Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
  static_cast<SessionObject*>(self)->locks_[data].lock();
}

void SessionObject::Unlock(CURL*, curl_lock_data data, void* self) {
  static_cast<SessionObject*>(self)->locks_[data].unlock();
}

CURLSH* SessionObject::SharedCookies() {
  std::lock_guard<std::mutex> lock(shareMutex_);
  if (share_ != nullptr) return share_;
  share_ = curl_share_init();
  if (share_ == nullptr) return nullptr;
  curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &SessionObject::Lock);
  curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &SessionObject::Unlock);
  curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
  curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
  return share_;
}

ConnectionObject::~ConnectionObject() {
  EndWorker();
  CloseTransfer();
}

void ConnectionObject::CloseTransfer() {
  if (easy != nullptr) {
    // Saying goodbye (QUIT) to a server that stopped answering must not
    // hold up the close for long. The multi handle closes its connections
    // with the time-outs of the last handle added to it.
    curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, 2L);
    if (multi != nullptr && curl_multi_add_handle(multi, easy) == CURLM_OK)
      curl_multi_remove_handle(multi, easy);
    curl_easy_cleanup(easy);
    easy = nullptr;
  }
  if (multi != nullptr) curl_multi_cleanup(multi);
  multi = nullptr;
}

void ConnectionObject::EndWorker() {
  std::thread ending;
  {
    std::lock_guard<std::mutex> lock(requestMutex);
    ending = std::move(worker);
  }
  if (!ending.joinable()) return;
  // A handler that closes its own handle runs on the request thread, which
  // is about to end anyway.
  if (ending.get_id() == std::this_thread::get_id()) {
    ending.detach();
  } else {
    ending.join();
  }
}

HandleTable& HandleTable::Instance() {
  static HandleTable table;
  return table;
}

HINTERNET HandleTable::Add(const std::shared_ptr<InternetObject>& object) {
  std::lock_guard<std::mutex> lock(mutex_);
  object->handle = reinterpret_cast<HINTERNET>(next_);
  next_ += 4;
  objects_.push_back(object);
  return object->handle;
}

std::shared_ptr<InternetObject> HandleTable::Find(HINTERNET handle) {
  if (handle == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& object : objects_)
    if (object->handle == handle) return object;
  return nullptr;
}

std::shared_ptr<InternetObject> HandleTable::Remove(HINTERNET handle) {
  if (handle == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find_if(objects_.begin(), objects_.end(),
                         [&](const auto& object) { return object->handle == handle; });
  if (it == objects_.end()) return nullptr;
  std::shared_ptr<InternetObject> object = *it;
  objects_.erase(it);
  return object;
}

bool CloseInternetHandle(HINTERNET handle) {
  std::shared_ptr<InternetObject> object = HandleTable::Instance().Remove(handle);
  if (!object) return false;
  if (object->kind == InternetObject::Kind::kFind) return true;
  if (object->kind == InternetObject::Kind::kConnection) {
    auto connection = std::static_pointer_cast<ConnectionObject>(object);
    connection->cancelled = true;
    connection->EndWorker();
    if (connection->session) {
      std::lock_guard<std::mutex> lock(connection->session->childrenMutex);
      auto& children = connection->session->children;
      children.erase(std::remove(children.begin(), children.end(), handle), children.end());
    }
    return true;
  }
  auto session = std::static_pointer_cast<SessionObject>(object);
  std::vector<HINTERNET> children;
  {
    std::lock_guard<std::mutex> lock(session->childrenMutex);
    children.swap(session->children);
  }
  for (HINTERNET child : children) CloseInternetHandle(child);
  return true;
}

}  // namespace stanvex::wininet
