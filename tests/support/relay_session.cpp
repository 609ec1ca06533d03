#include "relay_session.h"

#include "relay/relay_loop.h"

namespace tavorin::testing {

Status run_relay_session(FakePlatform& os) {
  Result<SocketHandle> socket = os.open_tcp_socket();
  return run_proxy(os, Socket(os, *socket));
}

}  // namespace tavorin::testing
