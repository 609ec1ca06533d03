#include "fake_platform.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log/log.h"
#include "text/utf8.h"

namespace tavorin::testing {

namespace {

// Room for the largest answer a test makes, reserved but not backed: pages
// cost memory only once written.
constexpr std::size_t RESERVATION = std::size_t{8} << 30;
constexpr std::size_t RESERVED_FROM = std::size_t{64} << 20;

// How much of a write of `size` bytes the next scripted result lets
// through: all of it once the script is used up.
Result<std::size_t> next_write(std::deque<Result<std::size_t>>& script,
                               std::size_t size) {
  if (script.empty()) return size;
  Result<std::size_t> next = script.front();
  script.pop_front();
  if (!next) return next;
  return std::min(size, *next);
}

}  // namespace

FakePlatform::~FakePlatform() {
  if (reservation_ != nullptr) ::munmap(reservation_, RESERVATION);
}

Lines FakePlatform::log_lines() const {
  Lines lines;
  std::string_view rest = stderr_data;
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    if (line.starts_with(LOG_PREFIX)) line.remove_prefix(LOG_PREFIX.size());
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return lines;
}

std::string FakePlatform::temp_directory() { return temp_dir; }

bool FakePlatform::path_exists(std::string_view path) {
  return existing_paths.contains(std::string(path)) ||
         readable_files.contains(std::string(path));
}

Result<std::string> FakePlatform::read_text_file(std::string_view path,
                                                 std::size_t limit) {
  auto found = readable_files.find(std::string(path));
  if (found == readable_files.end()) {
    return std::unexpected(IoError::system(2, ErrorKind::NotFound));
  }
  if (found->second && found->second->size() > limit) {
    return std::unexpected(NOT_A_SMALL_FILE_ERROR);
  }
  if (found->second && !is_valid_utf8(*found->second)) {
    return std::unexpected(INVALID_UTF8_ERROR);
  }
  return found->second;
}

Status FakePlatform::write_file(std::string_view path,
                                std::string_view content) {
  if (write_file_error) return std::unexpected(*write_file_error);
  written_files[std::string(path)] = std::string(content);
  readable_files.insert_or_assign(std::string(path), std::string(content));
  return {};
}

std::optional<std::uint64_t> FakePlatform::unix_time_seconds() {
  return clock_seconds;
}

void FakePlatform::sleep_for(std::chrono::nanoseconds duration) {
  sleeps.push_back(duration);
}

Result<SocketHandle> FakePlatform::open_tcp_socket() {
  SocketHandle socket = next_socket_++;
  open_sockets.insert(socket);
  return socket;
}

Status FakePlatform::skip_connect_retries(SocketHandle socket) {
  if (skip_retries_error) return std::unexpected(*skip_retries_error);
  retries_skipped_.insert(socket);
  return {};
}

Status FakePlatform::connect_loopback(SocketHandle socket, std::uint16_t port) {
  connects.push_back(port);
  if (!retries_skipped_.contains(socket)) ++connects_with_retries;
  if (!accepts(port)) return std::unexpected(refused);
  connected_ports_[socket] = port;
  return {};
}

Status FakePlatform::check_listener_owner(SocketHandle socket) {
  std::uint16_t port = connected_ports_[socket];
  if (foreign_listeners.contains(port)) {
    return std::unexpected(FOREIGN_LISTENER_ERROR);
  }
  auto found = listener_owners.find(port);
  if (found != listener_owners.end()) {
    return judge_listener_owner(found->second);
  }
  return {};
}

void* FakePlatform::reserved_block(std::size_t size) {
  if (size > RESERVATION) return nullptr;
  if (reservation_ == nullptr) {
    void* mapped = ::mmap(nullptr, RESERVATION, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    reservation_ = static_cast<char*>(mapped);
  }
  return reservation_;
}

void* FakePlatform::resize_block(void* block, std::size_t size) {
  block_sizes.push_back(size);
  if (size > block_limit) return nullptr;
  void* resized = size >= RESERVED_FROM
                      ? reserved_block(size)
                      : std::malloc(std::max<std::size_t>(size, 1));
  if (resized == nullptr) return nullptr;
  if (block != nullptr && block != resized) {
    std::memcpy(resized, block, std::min(live_blocks.at(block), size));
    free_block(block);
  }
  live_blocks[resized] = size;
  return resized;
}

void FakePlatform::free_block(void* block) {
  live_blocks.erase(block);
  if (block != reservation_) std::free(block);
}

Status FakePlatform::set_receive_timeout(SocketHandle,
                                         std::chrono::milliseconds timeout) {
  if (timeout_error) return std::unexpected(*timeout_error);
  receive_timeouts.push_back(timeout);
  return {};
}

Status FakePlatform::set_no_delay(SocketHandle) {
  no_delay_set = true;
  return {};
}

Result<SocketHandle> FakePlatform::duplicate_socket(SocketHandle) {
  if (duplicate_error) return std::unexpected(*duplicate_error);
  SocketHandle socket = next_socket_++;
  open_sockets.insert(socket);
  return socket;
}

Result<std::size_t> FakePlatform::send(SocketHandle, std::string_view bytes) {
  Result<std::size_t> take = next_write(send_script, bytes.size());
  if (take) sent_to_app.append(bytes.substr(0, *take));
  return take;
}

Result<std::size_t> FakePlatform::receive(SocketHandle,
                                          std::span<char> buffer) {
  if (phantom_answer_bytes > 0) {
    std::size_t take = std::min(buffer.size(), phantom_answer_bytes);
    phantom_answer_bytes -= take;
    return take;
  }
  if (app_chunks.empty() && app_answers) {
    std::size_t end = sent_to_app.find('\n', app_read_position_);
    if (end != std::string::npos) {
      app_chunks.emplace_back(app_answers(
          std::string_view(sent_to_app)
              .substr(app_read_position_, end - app_read_position_)));
      app_read_position_ = end + 1;
    }
  }
  if (app_chunks.empty() && app_silent) {
    return std::unexpected(IoError::system(10060, ErrorKind::TimedOut));
  }
  if (app_chunks.empty()) return 0;
  Result<std::string>& next = app_chunks.front();
  if (!next) {
    IoError error = next.error();
    app_chunks.pop_front();
    return std::unexpected(error);
  }
  std::size_t take = std::min(buffer.size(), next->size());
  std::memcpy(buffer.data(), next->data(), take);
  next->erase(0, take);
  if (next->empty()) app_chunks.pop_front();
  return take;
}

void FakePlatform::close_socket(SocketHandle socket) {
  if (open_sockets.erase(socket) != 1) ++bad_closes;
}

Result<std::size_t> FakePlatform::read_stdin(std::span<char> buffer) {
  stdin_touched = true;
  std::size_t held = 0;
  for (const auto& [block, size] : live_blocks) held += size;
  block_bytes_at_stdin_reads.push_back(held);
  if (stdin_interruptions > 0) {
    --stdin_interruptions;
    return std::unexpected(IoError::system(4, ErrorKind::Interrupted));
  }
  std::size_t left = stdin_data.size() - stdin_position_;
  if (left == 0 && stdin_error) return std::unexpected(*stdin_error);
  std::size_t take = std::min({buffer.size(), left, stdin_read_limit});
  std::memcpy(buffer.data(), stdin_data.data() + stdin_position_, take);
  stdin_position_ += take;
  return take;
}

Result<std::size_t> FakePlatform::write_stdout(std::string_view bytes) {
  Result<std::size_t> take = next_write(stdout_script, bytes.size());
  if (take) stdout_data.append(bytes.substr(0, *take));
  return take;
}

Result<std::size_t> FakePlatform::write_stderr(std::string_view bytes) {
  if (stderr_error) {
    IoError error = *stderr_error;
    if (stderr_fails_once) stderr_error.reset();
    return std::unexpected(error);
  }
  stderr_data.append(bytes);
  return bytes.size();
}

std::string FakePlatform::system_message(std::int32_t code) {
  auto found = system_messages.find(code);
  return found == system_messages.end() ? "Unknown error" : found->second;
}

// What the host wrote to its standard error goes to the real one on the
// way out, so that a death test can read the last words.
void FakePlatform::terminate_process(int status) {
  std::fwrite(stderr_data.data(), 1, stderr_data.size(), stderr);
  std::fflush(stderr);
  std::_Exit(status);
}

Lines last_lines(const Lines& lines, std::size_t count) {
  return {
      lines.end() - static_cast<std::ptrdiff_t>(std::min(count, lines.size())),
      lines.end()};
}

std::string frame(std::string_view payload) {
  auto length = static_cast<std::uint32_t>(payload.size());
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) {
    bytes[static_cast<std::size_t>(i)] = static_cast<char>(length >> (8 * i));
  }
  return bytes.append(payload);
}

std::optional<Lines> frames_in(std::string_view output) {
  Lines frames;
  while (!output.empty()) {
    if (output.size() < 4) return std::nullopt;
    std::uint32_t length = 0;
    for (int i = 3; i >= 0; --i) {
      length = (length << 8) |
               static_cast<std::uint8_t>(output[static_cast<std::size_t>(i)]);
    }
    if (output.size() - 4 < length) return std::nullopt;
    frames.emplace_back(output.substr(4, length));
    output.remove_prefix(4 + length);
  }
  return frames;
}

}  // namespace tavorin::testing
