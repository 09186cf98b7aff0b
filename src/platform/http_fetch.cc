// Picture downloads over HTTP and HTTPS with libcurl.
#include "platform/http_fetch.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

namespace velmorane {

namespace {

struct Sink {
  std::FILE* file = nullptr;
  curl_off_t max_bytes = 0;
  curl_off_t written = 0;
  bool failed = false;
};

std::size_t WriteToFile(char* data, std::size_t size, std::size_t count, void* user) {
  Sink* sink = static_cast<Sink*>(user);
  const std::size_t bytes = size * count;
  // A body larger than the cap is cut off: the transfer fails.
  if (sink->written + static_cast<curl_off_t>(bytes) > sink->max_bytes) {
    sink->failed = true;
    return 0;
  }
  if (std::fwrite(data, 1, bytes, sink->file) != bytes) {
    sink->failed = true;
    return 0;
  }
  sink->written += static_cast<curl_off_t>(bytes);
  return bytes;
}

void GlobalInitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

int FetchUrlToFile(const std::string& url, const std::string& local_path,
                   const FetchLimits& limits) {
  GlobalInitOnce();
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return 1;

  // The local name must be free: a user's file is never overwritten.
  const int fd = ::open(local_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    curl_easy_cleanup(curl);
    return 1;
  }
  Sink sink;
  sink.max_bytes = static_cast<curl_off_t>(limits.max_bytes);
  sink.file = ::fdopen(fd, "wb");
  if (sink.file == nullptr) {
    ::close(fd);
    ::unlink(local_path.c_str());
    curl_easy_cleanup(curl);
    return 1;
  }

  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits.connect_timeout_seconds);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, limits.total_timeout_seconds);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.max_bytes));
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "OpenIStreamFromURL");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  // Ask every cache on the way for a fresh copy.
  curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
  headers = curl_slist_append(headers, "Pragma: no-cache");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

  const CURLcode result = curl_easy_perform(curl);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  const bool closed = std::fclose(sink.file) == 0;
  if (result != CURLE_OK || sink.failed || !closed) {
    ::unlink(local_path.c_str());
    return 1;
  }
  return 0;
}

}  // namespace velmorane
