// Downloads against a small HTTP server on 127.0.0.1 started by the test.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/http_fetch.h"
#include "rtf/conversion.h"
#include "rtf/pictures.h"
#include "support/test_support.h"

namespace velmorane {
namespace {

// Answers one request per connection with a canned response, optionally after a delay.
class LoopbackServer {
 public:
  LoopbackServer(std::string response, std::chrono::milliseconds delay = {})
      : response_(std::move(response)), delay_(delay) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackServer() {
    stop_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    thread_.join();
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

 private:
  void Serve() {
    while (!stop_) {
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      char request[4096];
      (void)::recv(client, request, sizeof request, 0);
      const auto until = std::chrono::steady_clock::now() + delay_;
      while (!stop_ && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      (void)::send(client, response_.data(), response_.size(), MSG_NOSIGNAL);
      ::close(client);
    }
  }

  std::string response_;
  std::chrono::milliseconds delay_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string Response(const std::string& status, const std::string& body) {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

TEST(FetchUrlToFile, StoresTheBodyUnchanged) {
  const std::string body("GIF89a\0\x01\x02 body", 15);
  LoopbackServer server(Response("200 OK", body));
  const std::string path = testing::MakeTempFolder() + "pic.gif";
  ASSERT_EQ(FetchUrlToFile(server.Url("/pic.gif"), path), 0);
  std::string got;
  ASSERT_TRUE(ReadBinaryFile(path, got));
  EXPECT_EQ(got, body);
}

TEST(FetchUrlToFile, EmptyBodySucceedsWithAnEmptyFile) {
  LoopbackServer server(Response("200 OK", ""));
  const std::string path = testing::MakeTempFolder() + "empty.gif";
  ASSERT_EQ(FetchUrlToFile(server.Url("/empty.gif"), path), 0);
  EXPECT_EQ(FileSize(path), 0);
}

TEST(FetchUrlToFile, NotFoundFailsAndLeavesNothing) {
  LoopbackServer server(Response("404 Not Found", "<html>missing</html>"));
  const std::string path = testing::MakeTempFolder() + "missing.gif";
  EXPECT_NE(FetchUrlToFile(server.Url("/missing.gif"), path), 0);
  EXPECT_FALSE(FileExists(path));
}

TEST(FetchUrlToFile, SlowServerTimesOut) {
  LoopbackServer server(Response("200 OK", "late"), std::chrono::milliseconds(3000));
  const std::string path = testing::MakeTempFolder() + "slow.gif";
  FetchLimits limits;
  limits.total_timeout_milliseconds = 1000;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_NE(FetchUrlToFile(server.Url("/slow.gif"), path, limits), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_FALSE(FileExists(path));
}

TEST(FetchUrlToFile, NeverOverwritesAnExistingFile) {
  LoopbackServer server(Response("200 OK", "new"));
  const std::string path = testing::MakeTempFolder() + "photo.jpg";
  ASSERT_TRUE(WriteBinaryFile(path, "mine"));
  EXPECT_NE(FetchUrlToFile(server.Url("/photo.jpg"), path), 0);
  std::string got;
  ASSERT_TRUE(ReadBinaryFile(path, got));
  EXPECT_EQ(got, "mine");
}

TEST(FetchUrlToFile, RefusedConnectionFails) {
  const std::string path = testing::MakeTempFolder() + "none.gif";
  EXPECT_NE(FetchUrlToFile("http://127.0.0.1:1/none.gif", path), 0);
  EXPECT_FALSE(FileExists(path));
}

// The remote pictures of one document share a budget of time and bytes; what goes over
// it is skipped, and a download cut off by it leaves nothing behind.
TEST(RemotePictures, StayWithinTheDocumentsDownloadBudget) {
  const std::string png = testing::ReadBytes(std::string(VELMORANE_FIXTURES) + "/images/pic.png");
  LoopbackServer server(Response("200 OK", png));
  CarryOver carry;
  ConvertRequest request;
  EngineSettings settings = testing::DefaultSettings();
  settings.download_images = 1;
  Conversion c(carry, request, testing::DefaultOptions(), settings);
  c.convert_images = true;
  c.input_folder = c.work_folder = testing::MakeTempFolder();
  c.pictures.download_bytes_left = static_cast<long long>(png.size()) + 10;
  auto place = [&](const std::string& url) {
    c.input = "<img src=\"" + url + "\">";
    c.pos = 0;
    (void)TryImageTag(c);
    return c.pictures.records.size();
  };
  EXPECT_EQ(place(server.Url("/first.png")), 1u);
  EXPECT_EQ(place(server.Url("/second.png")), 1u);  // 10 bytes were left: cut off
  c.pictures.download_bytes_left = 1 << 20;
  c.pictures.download_milliseconds_left = 0;
  EXPECT_EQ(place(server.Url("/third.png")), 1u);  // no time left: not even asked for
  c.pictures.download_milliseconds_left = 60 * 1000;
  EXPECT_EQ(place(server.Url("/fourth.png")), 2u);
  // Only the two converted pictures' own files are left, for the writing.
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(c.work_folder)) {
    EXPECT_EQ(entry.path().extension(), ".tmp");
    ++files;
  }
  EXPECT_EQ(files, 2u);
}

}  // namespace
}  // namespace velmorane
