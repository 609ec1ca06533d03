#include "stand_in_app.h"

#include <windows.h>

namespace tavorin::windows_check {

namespace {

constexpr std::wstring_view LOCK_FILE = L"tavorin_app_instance.lock";
constexpr std::wstring_view PORT_FILE = L"tavorin_port.txt";
constexpr int RECEIVE_BYTES = 262144;

std::string socket_error(std::string_view what) {
  return std::string(what) + " failed with error " +
         std::to_string(WSAGetLastError());
}

bool write_whole_file(const std::wstring& path, std::string_view bytes) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool whole = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                         &written, nullptr) &&
               written == bytes.size();
  CloseHandle(file);
  return whole;
}

bool send_all(SOCKET socket, std::string_view bytes) {
  while (!bytes.empty()) {
    int part =
        bytes.size() > 1048576 ? 1048576 : static_cast<int>(bytes.size());
    int sent = send(socket, bytes.data(), part, 0);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

}  // namespace

std::string StandInApp::answer_to(std::string_view line) {
  return "{\"echo\":" + std::string(line) + "}";
}

std::expected<std::unique_ptr<StandInApp>, std::string> StandInApp::start(
    const std::wstring& folder) {
  std::unique_ptr<StandInApp> app(new StandInApp());
  app->folder_ = folder;
  app->listener_ = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                              WSA_FLAG_NO_HANDLE_INHERIT);
  if (app->listener_ == INVALID_SOCKET) {
    return std::unexpected(socket_error("socket"));
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  if (bind(app->listener_, reinterpret_cast<sockaddr*>(&address),
           sizeof address) != 0 ||
      listen(app->listener_, SOMAXCONN) != 0 ||
      getsockname(app->listener_, reinterpret_cast<sockaddr*>(&address),
                  &size) != 0) {
    return std::unexpected(socket_error("listening on 127.0.0.1"));
  }
  app->port_ = ntohs(address.sin_port);
  if (!write_whole_file(folder + std::wstring(PORT_FILE),
                        std::to_string(app->port_)) ||
      !write_whole_file(folder + std::wstring(LOCK_FILE), "")) {
    return std::unexpected("cannot write the app's files: error " +
                           std::to_string(GetLastError()));
  }
  app->accept_thread_ =
      CreateThread(nullptr, 0, accept_loop, app.get(), 0, nullptr);
  return app;
}

StandInApp::~StandInApp() {
  DeleteFileW((folder_ + std::wstring(LOCK_FILE)).c_str());
  DeleteFileW((folder_ + std::wstring(PORT_FILE)).c_str());
  stopping_ = true;
  closesocket(listener_);
  if (accept_thread_ != nullptr) {
    WaitForSingleObject(accept_thread_, INFINITE);
    CloseHandle(accept_thread_);
  }
  for (SOCKET connection : connections_) shutdown(connection, SD_BOTH);
  for (void* thread : threads_) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  for (SOCKET connection : connections_) closesocket(connection);
}

unsigned long __stdcall StandInApp::accept_loop(void* context) {
  auto* app = static_cast<StandInApp*>(context);
  for (;;) {
    SOCKET connection = accept(app->listener_, nullptr, nullptr);
    if (connection == INVALID_SOCKET) {
      if (app->stopping_) return 0;
      continue;
    }
    SetHandleInformation(reinterpret_cast<HANDLE>(connection),
                         HANDLE_FLAG_INHERIT, 0);
    app->connections_.push_back(connection);
    app->threads_.push_back(CreateThread(
        nullptr, 0, serve, reinterpret_cast<void*>(connection), 0, nullptr));
  }
}

// One connection: every complete line gets its answer, in order.
unsigned long __stdcall StandInApp::serve(void* context) {
  auto connection = reinterpret_cast<SOCKET>(context);
  std::string pending;
  std::size_t scanned = 0;
  std::string chunk(RECEIVE_BYTES, '\0');
  for (;;) {
    int got = recv(connection, chunk.data(), RECEIVE_BYTES, 0);
    if (got <= 0) return 0;
    pending.append(chunk.data(), static_cast<std::size_t>(got));
    std::size_t start = 0;
    for (std::size_t end = pending.find('\n', scanned);
         end != std::string::npos; end = pending.find('\n', start)) {
      std::string_view line(pending.data() + start, end - start);
      if (!send_all(connection, answer_to(line) + "\n")) return 0;
      start = end + 1;
    }
    pending.erase(0, start);
    scanned = pending.size();
  }
}

}  // namespace tavorin::windows_check
