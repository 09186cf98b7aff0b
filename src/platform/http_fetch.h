// Downloading remote pictures.
#ifndef VELMORANE_PLATFORM_HTTP_FETCH_H_
#define VELMORANE_PLATFORM_HTTP_FETCH_H_

#include <string>

#include "platform/temporaries.h"

namespace velmorane {

struct FetchLimits {
  long connect_timeout_seconds = 10;
  long total_timeout_milliseconds = 60 * 1000;
  long long max_bytes = 64LL * 1024 * 1024;
};

// Fetches `url` fresh from its server (no cache, redirects followed) and stores its bytes
// unchanged in a new file at `local_path`, which must not exist yet. An empty body is a
// success. Connect timeout 10 s, whole transfer 60 s, at most 64 MiB. Returns 0 on
// success; on failure nothing is left at `local_path`.
// While the transfer runs the file is registered as a temporary (a signal removes it);
// on success that registration passes to `keep` when given. `received`, when given,
// gets the bytes of the body that arrived, also of a transfer that failed. `keep_fd`,
// when given, gets on success a descriptor the file is open with for reading it back
// (the caller closes it); otherwise -1.
int FetchUrlToFile(const std::string& url, const std::string& local_path,
                   const FetchLimits& limits = FetchLimits{},
                   RegisteredTemporary* keep = nullptr, long long* received = nullptr,
                   int* keep_fd = nullptr);

}  // namespace velmorane

#endif  // VELMORANE_PLATFORM_HTTP_FETCH_H_
