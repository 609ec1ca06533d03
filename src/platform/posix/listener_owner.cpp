#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstring>

#include "platform/posix/error_codes.h"
#include "platform/posix/file_descriptor.h"
#include "platform/posix/posix_platform.h"

namespace tavorin {

namespace {

struct DiagRequest {
  nlmsghdr header;
  inet_diag_req_v2 request;
};

Result<std::pair<sockaddr_in, sockaddr_in>> both_ends(int fd) {
  sockaddr_in local{};
  sockaddr_in peer{};
  socklen_t size = sizeof local;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
    return std::unexpected(last_error());
  }
  size = sizeof peer;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0) {
    return std::unexpected(last_error());
  }
  return std::pair(local, peer);
}

// Asks for the socket at the app's end of the connection. The kernel looks
// up the accepted socket and, while the app has not taken it yet, the
// listener; either belongs to the user who made the listener.
DiagRequest request_for(const sockaddr_in& local, const sockaddr_in& peer) {
  DiagRequest message{};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = NLM_F_REQUEST;
  message.request.sdiag_family = AF_INET;
  message.request.sdiag_protocol = IPPROTO_TCP;
  message.request.idiag_states = ~0u;
  message.request.id.idiag_sport = peer.sin_port;
  message.request.id.idiag_dport = local.sin_port;
  message.request.id.idiag_src[0] = peer.sin_addr.s_addr;
  message.request.id.idiag_dst[0] = local.sin_addr.s_addr;
  message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
  message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
  return message;
}

// The user who owns the app's end of the connection, from the kernel's
// socket diagnostics.
Result<uid_t> peer_owner(int fd) {
  auto ends = both_ends(fd);
  if (!ends) return std::unexpected(ends.error());
  FileDescriptor diag(
      ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (!diag.is_open()) return std::unexpected(last_error());
  DiagRequest message = request_for(ends->first, ends->second);
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(diag.get(), &message, sizeof message, 0,
               reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) < 0) {
    return std::unexpected(last_error());
  }
  alignas(nlmsghdr) std::array<char, 8192> reply{};
  ssize_t got = ::recv(diag.get(), reply.data(), reply.size(), 0);
  if (got < 0) return std::unexpected(last_error());
  const auto* header = reinterpret_cast<const nlmsghdr*>(reply.data());
  if (!NLMSG_OK(header, static_cast<unsigned>(got)) ||
      header->nlmsg_type != SOCK_DIAG_BY_FAMILY) {
    return std::unexpected(FOREIGN_LISTENER_ERROR);
  }
  const auto* socket = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
  return static_cast<uid_t>(socket->idiag_uid);
}

}  // namespace

// Through /tmp another user can name any port in the port file, or listen
// on a fallback port first: only a listener of our own user (or root, who
// could read our messages anyway) gets the browser's messages. When the
// kernel cannot say, the port is not trusted.
Status PosixPlatform::check_listener_owner(SocketHandle socket) {
  Result<uid_t> owner = peer_owner(static_cast<int>(socket));
  if (!owner) return std::unexpected(FOREIGN_LISTENER_ERROR);
  if (*owner != ::geteuid() && *owner != 0) {
    return std::unexpected(FOREIGN_LISTENER_ERROR);
  }
  return {};
}

}  // namespace tavorin
