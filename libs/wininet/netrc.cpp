#include "netrc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace stanvex::wininet {
namespace {

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

struct Token {
  std::string text;
  bool quoted = false;  // written in double quotes: never a keyword
  // A quote left open at the end of its line, or a control character: such
  // a value would carry further lines of the file (other hosts' logins) or
  // break the request line it goes into, so it is never used.
  bool broken = false;
};

bool IsKeyword(const Token& token) {
  static const char* const kKeywords[] = {"machine", "default",  "login",
                                          "password", "account", "macdef"};
  if (token.quoted) return false;
  for (const char* keyword : kKeywords)
    if (token.text == keyword) return true;
  return false;
}

// Reads tokens from text[0, length) with a cursor that never passes length,
// leaving out comment lines.
class Tokens {
 public:
  Tokens(const char* text, size_t length) : text_(text), length_(length) {}

  // The next token into *token; false at the end.
  bool Next(Token* token) { return Read(token, false); }
  // The next token when it is on the current line; false otherwise, the
  // cursor then left where it was.
  bool NextOnLine(Token* token) { return Read(token, true); }

  // Steps back over the token just read (one step only).
  void Unread() {
    position_ = previousPosition_;
    lineStart_ = previousLineStart_;
  }

  // Skips a macro body: the rest of the current line, then every line up to
  // the next empty one.
  void SkipMacro() {
    while (position_ < length_ && text_[position_] != '\n') ++position_;
    while (position_ < length_) {
      ++position_;  // the line feed that ended the previous line
      if (position_ < length_ && text_[position_] == '\n') break;
      if (position_ + 1 < length_ && text_[position_] == '\r' && text_[position_ + 1] == '\n')
        break;
      while (position_ < length_ && text_[position_] != '\n') ++position_;
    }
    lineStart_ = true;
  }

 private:
  bool Read(Token* token, bool sameLine) {
    token->text.clear();
    token->quoted = false;
    token->broken = false;
    previousPosition_ = position_;
    previousLineStart_ = lineStart_;
    for (;;) {
      while (position_ < length_ && IsBlank(text_[position_])) {
        if (text_[position_] == '\n') {
          if (sameLine) {
            Unread();
            return false;
          }
          lineStart_ = true;
        }
        ++position_;
      }
      if (position_ >= length_) return false;
      if (!lineStart_ || text_[position_] != '#') break;
      while (position_ < length_ && text_[position_] != '\n') ++position_;  // a comment line
    }
    lineStart_ = false;
    if (text_[position_] == '"') {
      token->quoted = true;
      ++position_;
      while (position_ < length_ && text_[position_] != '"' && text_[position_] != '\n') {
        if (text_[position_] == '\\' && position_ + 1 < length_) ++position_;
        token->text.push_back(text_[position_++]);
      }
      if (position_ < length_ && text_[position_] == '"')
        ++position_;  // the closing quote
      else
        token->broken = true;  // the line (or the file) ended first
      token->broken = token->broken || HasControlCharacter(token->text);
      return true;
    }
    while (position_ < length_ && !IsBlank(text_[position_]))
      token->text.push_back(text_[position_++]);
    token->broken = HasControlCharacter(token->text);
    return true;
  }

  const char* text_;
  size_t length_;
  size_t position_ = 0;
  bool lineStart_ = true;  // only blanks since the last line feed
  size_t previousPosition_ = 0;
  bool previousLineStart_ = true;
};

// A keyword's value into *value; false when it is missing or is itself a
// keyword, which is then left to be read as one.
bool ReadValue(Tokens* tokens, Token* value) {
  if (!tokens->Next(value)) return false;
  if (value->broken) return false;
  if (!IsKeyword(*value)) return true;
  tokens->Unread();
  return false;
}

}  // namespace

bool HasControlCharacter(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  return false;
}

NetrcLookup FindNetrcLogin(const char* text, size_t length, const std::string& host,
                           NetrcLogin* login) {
  if (text == nullptr || host.empty()) return NetrcLookup::kNoEntry;
  Tokens tokens(text, length);
  enum class Entry { kNone, kOther, kMatch } entry = Entry::kNone;
  bool unusable = false;
  NetrcLogin found;
  // The host's entry decides the lookup once it has a login or a password
  // (an entry of a token has no login) or is unusable.
  auto decided = [&]() {
    return entry == Entry::kMatch &&
           (unusable || !found.login.empty() || !found.password.empty());
  };
  Token token;
  while (tokens.Next(&token)) {
    if (!IsKeyword(token)) continue;
    Token value;
    if (token.text == "machine" || token.text == "default") {
      if (decided()) break;
      entry = Entry::kOther;
      unusable = false;
      found = NetrcLogin();
      if (token.text == "default") continue;
      if (!ReadValue(&tokens, &value)) {
        unusable = true;  // a nameless entry, for no host
      } else if (EqualNoCase(value.text, host)) {
        entry = Entry::kMatch;
      }
    } else if (token.text == "macdef") {
      if (!tokens.NextOnLine(&value) || IsKeyword(value)) unusable = true;
      tokens.SkipMacro();
    } else if (!ReadValue(&tokens, &value)) {
      unusable = true;
    } else if (entry == Entry::kMatch && token.text == "login") {
      found.login = value.text;
    } else if (entry == Entry::kMatch && token.text == "password") {
      found.password = value.text;
    }
  }
  if (!decided()) return NetrcLookup::kNoEntry;
  if (unusable) return NetrcLookup::kUnusableEntry;
  *login = found;
  return NetrcLookup::kFound;
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

NetrcLookup LookupNetrc(const std::string& host, NetrcLogin* login) {
  std::string path = NetrcPath();
  if (path.empty()) return NetrcLookup::kNoEntry;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return NetrcLookup::kNoEntry;
  std::vector<char> text;
  char buffer[4096];
  size_t n = 0;
  bool tooLarge = false;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    if (text.size() + n > kMaxNetrcBytes) {
      tooLarge = true;
      break;
    }
    text.insert(text.end(), buffer, buffer + n);
  }
  std::fclose(file);
  if (tooLarge) return NetrcLookup::kFileTooLarge;
  return FindNetrcLogin(text.data(), text.size(), host, login);
}

}  // namespace stanvex::wininet
