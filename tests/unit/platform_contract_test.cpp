// One suite, run on the Linux backend and on the scripted fake, for what the
// host relies on from its platform: the fake that every other unit test
// runs on is held to what the real system does.
#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>

#include "app_link/loopback_connection.h"
#include "fake_platform.h"
#include "platform/posix/posix_platform.h"
#include "platform/socket.h"

namespace tavorin::testing {
namespace {

using namespace std::chrono_literals;

// The other end of the app connection, as a test drives it, and the
// backend's view of files.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual Platform& os() = 0;
  virtual std::string path_of(std::string_view name) = 0;
  virtual std::uint16_t listening_port() = 0;
  virtual std::uint16_t refusing_port() = 0;
  // The app accepts the connection and sends, or shuts down its sending.
  virtual void app_sends(std::string_view bytes) = 0;
  virtual void app_shuts_down() = 0;
  virtual void app_stays_silent() = 0;
  // Sockets and descriptors the platform holds open.
  virtual int open_handles() = 0;
};

class FakeBackend final : public Backend {
 public:
  FakeBackend() {
    fake_.accepts = [](std::uint16_t port) { return port == LISTENING; };
  }
  Platform& os() override { return fake_; }
  std::string path_of(std::string_view name) override {
    return fake_.temp_dir + std::string(name);
  }
  std::uint16_t listening_port() override { return LISTENING; }
  std::uint16_t refusing_port() override { return LISTENING + 1; }
  void app_sends(std::string_view bytes) override {
    fake_.app_chunks.emplace_back(std::string(bytes));
  }
  void app_shuts_down() override {}
  void app_stays_silent() override { fake_.app_silent = true; }
  int open_handles() override {
    return static_cast<int>(fake_.open_sockets.size());
  }

 private:
  static constexpr std::uint16_t LISTENING = 40000;
  FakePlatform fake_;
};

int bound_socket(sockaddr_in& address) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  return fd;
}

class PosixBackend final : public Backend {
 public:
  PosixBackend() {
    std::array<char, 32> pattern{"/tmp/tavorin-contract-XXXXXX"};
    directory_ = ::mkdtemp(pattern.data());
    sockaddr_in address{};
    listener_ = bound_socket(address);
    ::listen(listener_, 4);
    listening_port_ = ntohs(address.sin_port);
    // Bound but not listening: a connect to it is refused, and nobody else
    // can take the port meanwhile.
    refuser_ = bound_socket(address);
    refusing_port_ = ntohs(address.sin_port);
  }
  ~PosixBackend() override {
    for (int fd : {accepted_, listener_, refuser_}) {
      if (fd >= 0) ::close(fd);
    }
    std::system(("rm -rf " + directory_).c_str());
  }
  Platform& os() override { return posix_; }
  std::string path_of(std::string_view name) override {
    return directory_ + "/" + std::string(name);
  }
  std::uint16_t listening_port() override { return listening_port_; }
  std::uint16_t refusing_port() override { return refusing_port_; }
  void app_sends(std::string_view bytes) override {
    (void)!::send(accepted(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
  void app_shuts_down() override { ::shutdown(accepted(), SHUT_WR); }
  void app_stays_silent() override { (void)accepted(); }
  int open_handles() override {
    int count = 0;
    DIR* fds = ::opendir("/proc/self/fd");
    while (::readdir(fds) != nullptr) ++count;
    ::closedir(fds);
    return count;
  }

 private:
  int accepted() {
    if (accepted_ < 0) accepted_ = ::accept(listener_, nullptr, nullptr);
    return accepted_;
  }

  PosixPlatform posix_;
  std::string directory_;
  int listener_ = -1;
  int refuser_ = -1;
  int accepted_ = -1;
  std::uint16_t listening_port_ = 0;
  std::uint16_t refusing_port_ = 0;
};

enum class BackendKind { Fake, Posix };

void PrintTo(BackendKind kind, std::ostream* out) {
  *out << (kind == BackendKind::Fake ? "Fake" : "Posix");
}

class PlatformContract : public ::testing::TestWithParam<BackendKind> {
 protected:
  void SetUp() override {
    if (GetParam() == BackendKind::Fake) {
      backend_ = std::make_unique<FakeBackend>();
    } else {
      backend_ = std::make_unique<PosixBackend>();
    }
  }
  Platform& os() { return backend_->os(); }
  Socket connect() {
    Result<Socket> socket =
        open_loopback_connection(os(), backend_->listening_port());
    EXPECT_TRUE(socket.has_value());
    return std::move(*socket);
  }
  std::string receive_all(const Socket& socket) {
    std::array<char, 64> buffer{};
    Result<std::size_t> got = os().receive(socket.handle(), buffer);
    return got ? std::string(buffer.data(), *got) : "<error>";
  }

  std::unique_ptr<Backend> backend_;
};

TEST_P(PlatformContract, FilesAreReadBackAsLastWritten) {
  const std::string path = backend_->path_of("marker.txt");
  ASSERT_TRUE(os().write_file(path, "a long first text").has_value());
  ASSERT_TRUE(os().write_file(path, "short").has_value());
  EXPECT_EQ(os().read_text_file(path, 4096), "short");
  EXPECT_TRUE(os().path_exists(path));
}

TEST_P(PlatformContract, FilesThatCannotBeTextAreErrors) {
  const std::string path = backend_->path_of("port.txt");
  ASSERT_TRUE(os().write_file(path, "78\xFF").has_value());
  Result<std::string> invalid = os().read_text_file(path, 4096);
  ASSERT_FALSE(invalid.has_value());
  EXPECT_EQ(invalid.error().kind(), ErrorKind::InvalidData);

  // Only a small file is read: a larger one is refused whole, not cut.
  ASSERT_TRUE(os().write_file(path, "7879" + std::string(5000, ' ')));
  Result<std::string> large = os().read_text_file(path, 4096);
  ASSERT_FALSE(large.has_value());
  EXPECT_EQ(large.error().kind(), NOT_A_SMALL_FILE_ERROR.kind());

  Result<std::string> missing =
      os().read_text_file(backend_->path_of("missing.txt"), 4096);
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().kind(), ErrorKind::NotFound);
  EXPECT_FALSE(os().path_exists(backend_->path_of("missing.txt")));
}

TEST_P(PlatformContract, RefusedConnectLeavesNothingOpen) {
  const int before = backend_->open_handles();
  Result<Socket> refused =
      open_loopback_connection(os(), backend_->refusing_port());
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().kind(), ErrorKind::ConnectionRefused);
  EXPECT_EQ(backend_->open_handles(), before);
}

TEST_P(PlatformContract, SilentAppTimesOutTheReceive) {
  Socket socket = connect();
  ASSERT_TRUE(os().set_receive_timeout(socket.handle(), 50ms).has_value());
  backend_->app_stays_silent();
  std::array<char, 16> buffer{};
  Result<std::size_t> got = os().receive(socket.handle(), buffer);
  ASSERT_FALSE(got.has_value());
  EXPECT_EQ(got.error().kind(), ErrorKind::TimedOut);
}

TEST_P(PlatformContract, DuplicateOutlivesTheOriginal) {
  Socket original = connect();
  Result<SocketHandle> copy = os().duplicate_socket(original.handle());
  ASSERT_TRUE(copy.has_value());
  Socket duplicate(os(), *copy);
  original.close();
  backend_->app_sends("answer\n");
  EXPECT_EQ(receive_all(duplicate), "answer\n");
}

TEST_P(PlatformContract, ShutDownConnectionReadsNothing) {
  Socket socket = connect();
  backend_->app_shuts_down();
  EXPECT_EQ(receive_all(socket), "");
}

INSTANTIATE_TEST_SUITE_P(Backends, PlatformContract,
                         ::testing::Values(BackendKind::Fake,
                                           BackendKind::Posix),
                         ::testing::PrintToStringParamName());

}  // namespace
}  // namespace tavorin::testing
