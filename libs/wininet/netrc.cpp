#include "netrc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace stanvex::wininet {
namespace {

constexpr size_t kMaxNetrcBytes = 1 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Reads tokens from text[0, length) with a cursor that never passes length.
class Tokens {
 public:
  Tokens(const char* text, size_t length) : text_(text), length_(length) {}

  // The next token into *token; false at the end.
  bool Next(std::string* token) {
    token->clear();
    while (position_ < length_ && IsBlank(text_[position_])) ++position_;
    if (position_ >= length_) return false;
    if (text_[position_] == '"') {
      ++position_;
      while (position_ < length_ && text_[position_] != '"') {
        if (text_[position_] == '\\' && position_ + 1 < length_) ++position_;
        token->push_back(text_[position_++]);
      }
      if (position_ < length_) ++position_;  // the closing quote
      return true;
    }
    while (position_ < length_ && !IsBlank(text_[position_])) token->push_back(text_[position_++]);
    return true;
  }

  // Skips a macro body: everything up to the next empty line.
  void SkipMacro() {
    while (position_ < length_ && text_[position_] != '\n') ++position_;
    while (position_ < length_) {
      ++position_;  // the line feed that ended the previous line
      if (position_ < length_ && text_[position_] == '\n') return;
      if (position_ + 1 < length_ && text_[position_] == '\r' && text_[position_ + 1] == '\n')
        return;
      while (position_ < length_ && text_[position_] != '\n') ++position_;
    }
  }

 private:
  const char* text_;
  size_t length_;
  size_t position_ = 0;
};

}  // namespace

bool FindNetrcLogin(const char* text, size_t length, const std::string& host, NetrcLogin* login) {
  if (text == nullptr || host.empty()) return false;
  Tokens tokens(text, length);
  std::string token;
  enum class Entry { kNone, kOther, kMatch } entry = Entry::kNone;
  NetrcLogin found;
  auto finish = [&]() {
    if (entry == Entry::kMatch && !found.login.empty()) {
      *login = found;
      return true;
    }
    return false;
  };
  while (tokens.Next(&token)) {
    if (token == "machine" || token == "default") {
      if (finish()) return true;
      entry = Entry::kOther;
      found = NetrcLogin();
      std::string name;
      if (token == "machine" && tokens.Next(&name) && EqualNoCase(name, host)) entry = Entry::kMatch;
    } else if (token == "login" || token == "password" || token == "account") {
      std::string value;
      if (!tokens.Next(&value)) break;
      if (entry != Entry::kMatch) continue;
      if (token == "login") found.login = value;
      if (token == "password") found.password = value;
    } else if (token == "macdef") {
      tokens.Next(&token);  // the macro's name
      tokens.SkipMacro();
    }
  }
  return finish();
}

std::string NetrcPath() {
  const char* named = std::getenv("NETRC");
  if (named != nullptr && named[0] != '\0') return named;
#if defined(_WIN32)
  const char* home = std::getenv("USERPROFILE");
  if (home == nullptr || home[0] == '\0') return "";
  return std::string(home) + "\\_netrc";
#else
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') return "";
  return std::string(home) + "/.netrc";
#endif
}

bool LookupNetrc(const std::string& host, NetrcLogin* login) {
  std::string path = NetrcPath();
  if (path.empty()) return false;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::vector<char> text;
  char buffer[4096];
  size_t n = 0;
  bool too_large = false;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    if (text.size() + n > kMaxNetrcBytes) {
      too_large = true;
      break;
    }
    text.insert(text.end(), buffer, buffer + n);
  }
  std::fclose(file);
  if (too_large) return false;
  return FindNetrcLogin(text.data(), text.size(), host, login);
}

}  // namespace stanvex::wininet
