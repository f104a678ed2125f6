#include "transfer_settings.h"

#include <cstdlib>

namespace stanvex::wininet {
namespace {

const char* Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

// A positive integer of at most a day, else fallback.
long PositiveOr(const char* name, long fallback) {
  const char* text = Variable(name);
  if (text == nullptr) return fallback;
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value <= 0 || value > 86400) return fallback;
  return value;
}

}  // namespace

void ApplyTrustSettings(CURL* easy) {
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  // The order the curl tool uses: one bundle named by CURL_CA_BUNDLE wins;
  // otherwise OpenSSL's own pair of variables.
  if (const char* bundle = Variable("CURL_CA_BUNDLE")) {
    curl_easy_setopt(easy, CURLOPT_CAINFO, bundle);
    return;
  }
  if (const char* file = Variable("SSL_CERT_FILE")) curl_easy_setopt(easy, CURLOPT_CAINFO, file);
  if (const char* folder = Variable("SSL_CERT_DIR")) curl_easy_setopt(easy, CURLOPT_CAPATH, folder);
}

StallLimit StallLimitFromEnvironment() {
  StallLimit limit;
  limit.seconds = PositiveOr("STANVEX_STALL_SECONDS", limit.seconds);
  limit.bytesPerSecond = PositiveOr("STANVEX_STALL_BYTES_PER_SECOND", limit.bytesPerSecond);
  return limit;
}

}  // namespace stanvex::wininet
