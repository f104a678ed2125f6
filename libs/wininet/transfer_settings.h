// Settings every request takes from the environment: the certificate
// authorities to trust and the limit below which a transfer counts as
// stalled.
#ifndef STANVEX_WININET_TRANSFER_SETTINGS_H
#define STANVEX_WININET_TRANSFER_SETTINGS_H

#include <curl/curl.h>

namespace stanvex::wininet {

// Certificate and host-name checks, always on. The authorities trusted are
// the system's unless the conventional variables name others: CURL_CA_BUNDLE
// (a file), else SSL_CERT_FILE (a file) and SSL_CERT_DIR (a hashed folder).
void ApplyTrustSettings(CURL* easy);

// A transfer that moves fewer than bytesPerSecond for seconds in a row
// fails as timed out. Defaults 300 bytes/s for 60 s;
// STANVEX_STALL_SECONDS and STANVEX_STALL_BYTES_PER_SECOND (positive
// integers) change them, for tests that cannot wait a minute.
struct StallLimit {
  long bytesPerSecond = 300;
  long seconds = 60;
};
StallLimit StallLimitFromEnvironment();

}  // namespace stanvex::wininet

#endif  // STANVEX_WININET_TRANSFER_SETTINGS_H
