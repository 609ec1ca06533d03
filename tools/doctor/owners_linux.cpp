#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <sstream>
#include <string_view>

#include "owners.h"
#include "system.h"

namespace tavorin::doctor {

namespace {

Owner owner_of(uid_t uid) {
  std::string id = "uid " + std::to_string(uid);
  passwd entry{};
  passwd* found = nullptr;
  std::array<char, 16384> strings{};
  Owner owner{id, uid != ::geteuid() && uid != 0};
  if (::getpwuid_r(uid, &entry, strings.data(), strings.size(), &found) == 0 &&
      found != nullptr) {
    owner.name = std::string(found->pw_name) + " (" + id + ")";
  }
  return owner;
}

// The addresses a connect to 127.0.0.1 reaches, as the kernel's socket
// tables write them: the loopback address and any address, in IPv4 and in
// IPv6 (a dual-stack listener takes IPv4 connects too).
constexpr std::array<std::string_view, 4> REACHED_ADDRESSES = {
    "0100007F", "00000000", "0000000000000000FFFF00000100007F",
    "00000000000000000000000000000000"};
constexpr std::string_view LISTENING = "0A";

// The uid column of the listener on the port in one of the kernel's tables
// (/proc/net/tcp, /proc/net/tcp6): sl, local address:port, remote, state,
// queues, timer, retransmits, uid, ...
std::optional<uid_t> listener_uid_in(Platform& os, const std::string& table,
                                     std::uint16_t port) {
  auto text = read_file_bytes(os, table);
  if (!text) return std::nullopt;
  std::istringstream lines{std::string(text->view())};
  std::string line;
  std::getline(lines, line);  // the column names
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid;
    fields >> slot >> local >> remote >> state >> queues >> timer >>
        retransmits >> uid;
    std::size_t colon = local.find(':');
    unsigned local_port = 0;
    if (state != LISTENING || colon == std::string::npos ||
        std::from_chars(local.data() + colon + 1, local.data() + local.size(),
                        local_port, 16)
                .ec != std::errc{} ||
        local_port != port) {
      continue;
    }
    for (std::string_view address : REACHED_ADDRESSES) {
      unsigned long owner = 0;
      if (local.substr(0, colon) == address &&
          std::from_chars(uid.data(), uid.data() + uid.size(), owner).ec ==
              std::errc{}) {
        return static_cast<uid_t>(owner);
      }
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<Owner> file_owner(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
  return owner_of(info.st_uid);
}

std::optional<Owner> listener_owner(Platform& os, std::uint16_t port) {
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    if (std::optional<uid_t> uid = listener_uid_in(os, table, port)) {
      return owner_of(*uid);
    }
  }
  return std::nullopt;
}

}  // namespace tavorin::doctor
