// Picture downloads over HTTP and HTTPS with libcurl, loaded on the first download: the
// library and the thirty-odd it needs would otherwise cost every start of the program
// several milliseconds, though most pages download nothing.
#include "platform/http_fetch.h"

#include <curl/curl.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <utility>

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

// The libcurl functions the download uses, resolved from the shared library.
struct Curl {
  decltype(&curl_global_init) global_init = nullptr;
  decltype(&curl_easy_init) easy_init = nullptr;
  decltype(&curl_easy_setopt) easy_setopt = nullptr;
  decltype(&curl_easy_perform) easy_perform = nullptr;
  decltype(&curl_easy_cleanup) easy_cleanup = nullptr;
  decltype(&curl_slist_append) slist_append = nullptr;
  decltype(&curl_slist_free_all) slist_free_all = nullptr;
};

template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(::dlsym(library, name));
  return function != nullptr;
}

// Loads and initialises libcurl once; null when it cannot be had (every download then
// fails as an unreachable server would).
const Curl* LoadCurl() {
  static const Curl* const loaded = []() -> const Curl* {
    void* library = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return nullptr;
    static Curl curl;
    if (!Resolve(library, "curl_global_init", curl.global_init) ||
        !Resolve(library, "curl_easy_init", curl.easy_init) ||
        !Resolve(library, "curl_easy_setopt", curl.easy_setopt) ||
        !Resolve(library, "curl_easy_perform", curl.easy_perform) ||
        !Resolve(library, "curl_easy_cleanup", curl.easy_cleanup) ||
        !Resolve(library, "curl_slist_append", curl.slist_append) ||
        !Resolve(library, "curl_slist_free_all", curl.slist_free_all) ||
        curl.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      return nullptr;
    }
    return &curl;
  }();
  return loaded;
}

}  // namespace

int FetchUrlToFile(const std::string& url, const std::string& local_path,
                   const FetchLimits& limits, RegisteredTemporary* keep, long long* received,
                   int* keep_fd) {
  if (keep_fd != nullptr) *keep_fd = -1;
  const Curl* api = LoadCurl();
  if (api == nullptr) return 1;
  CURL* curl = api->easy_init();
  if (curl == nullptr) return 1;

  // The local name must be free: a user's file is never overwritten.
  const int fd = ::open(local_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    api->easy_cleanup(curl);
    return 1;
  }
  // The file is read back through a descriptor of its own, never by its name again.
  const int read_fd = keep_fd != nullptr ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
  RegisteredTemporary registration(local_path);
  Sink sink;
  sink.max_bytes = static_cast<curl_off_t>(limits.max_bytes);
  sink.file = ::fdopen(fd, "wb");
  if (sink.file == nullptr) {
    ::close(fd);
    if (read_fd >= 0) ::close(read_fd);
    ::unlink(local_path.c_str());
    api->easy_cleanup(curl);
    return 1;
  }

  api->easy_setopt(curl, CURLOPT_URL, url.c_str());
  api->easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  api->easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  api->easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  api->easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  api->easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits.connect_timeout_seconds);
  api->easy_setopt(curl, CURLOPT_TIMEOUT_MS, limits.total_timeout_milliseconds);
  api->easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.max_bytes));
  api->easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  api->easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
  api->easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  api->easy_setopt(curl, CURLOPT_USERAGENT, "OpenIStreamFromURL");
  api->easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
  api->easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  // Ask every cache on the way for a fresh copy.
  curl_slist* headers = api->slist_append(nullptr, "Cache-Control: no-cache");
  headers = api->slist_append(headers, "Pragma: no-cache");
  api->easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

  const CURLcode result = api->easy_perform(curl);
  api->slist_free_all(headers);
  api->easy_cleanup(curl);
  const bool closed = std::fclose(sink.file) == 0;
  if (received != nullptr) *received = static_cast<long long>(sink.written);
  if (result != CURLE_OK || sink.failed || !closed || (keep_fd != nullptr && read_fd < 0)) {
    if (read_fd >= 0) ::close(read_fd);
    ::unlink(local_path.c_str());
    return 1;
  }
  if (keep != nullptr) *keep = std::move(registration);
  if (keep_fd != nullptr) *keep_fd = read_fd;
  return 0;
}

}  // namespace velmorane
