#include "desktop_app.h"

#include <cstdint>
#include <optional>
#include <string>

#include "app_link/connect_to_app.h"
#include "app_link/instance_detection.h"
#include "app_link/loopback_connection.h"
#include "app_link/port_file.h"
#include "log/error_text.h"
#include "platform/platform.h"
#include "platform/temp_path.h"
#include "text/quoted_path.h"

namespace tavorin::doctor {

namespace {

// Enough of a port file to recognise it; a longer one is no port anyway.
constexpr std::size_t SHOWN_PORT_TEXT = 40;

struct LockFile {
  std::string path;
  bool present = false;
};

struct PortFile {
  std::string path;
  std::string status;  // what its content means, for the report
  std::optional<std::uint16_t> port;
};

struct PortProbe {
  std::uint16_t port;
  bool from_file;
  bool accepts;
  bool foreign;  // a listener of another user, which the host passes over
  std::string refusal;
};

struct AppState {
  std::string directory;
  LockFile dev_lock;
  LockFile prod_lock;
  PortFile port_file;
  std::vector<PortProbe> probes;

  bool locked() const { return dev_lock.present || prod_lock.present; }
  const PortProbe* answering() const {
    for (const PortProbe& probe : probes) {
      if (probe.accepts) return &probe;
    }
    return nullptr;
  }
  const std::string& lock_path() const {
    return prod_lock.present ? prod_lock.path : dev_lock.path;
  }
};

LockFile find_lock(Platform& os, const std::string& directory,
                   std::string_view name) {
  LockFile lock{join_path(directory, name), false};
  lock.present = os.path_exists(lock.path);
  return lock;
}

PortFile read_port(Platform& os, const std::string& directory) {
  PortFile file{join_path(directory, PORT_FILE), "", std::nullopt};
  Result<std::string> content =
      os.read_text_file(file.path, MAX_PORT_FILE_SIZE);
  if (!content && content.error().kind() == ErrorKind::NotFound) {
    file.status = "no file";
    return file;
  }
  if (!content) {
    file.status = "unreadable: " + error_text(os, content.error());
    return file;
  }
  file.port = parse_port(*content);
  std::string shown = quoted_form(content->substr(0, SHOWN_PORT_TEXT));
  file.status = file.port ? "names port " + std::to_string(*file.port)
                          : "holds " + shown + ", which is not a port number";
  return file;
}

PortProbe probe(Platform& os, std::uint16_t port, bool from_file) {
  PortProbe result{port, from_file, false, false, {}};
  // Closed as soon as it opens: the app sees a connection end unused.
  Result<Socket> connection = open_loopback_connection(os, port);
  result.accepts = connection.has_value();
  if (connection) return result;
  result.refusal = error_text(os, connection.error());
  result.foreign =
      connection.error().kind() == FOREIGN_LISTENER_ERROR.kind() &&
      connection.error().message() == FOREIGN_LISTENER_ERROR.message();
  return result;
}

// The host's order: the port file's port, then each fallback port; the
// first that accepts is the one the host would use.
std::vector<PortProbe> probe_ports(Platform& os, const PortFile& file) {
  std::vector<PortProbe> probes;
  if (file.port) {
    probes.push_back(probe(os, *file.port, true));
    if (probes.back().accepts) return probes;
  }
  for (std::uint16_t port : FALLBACK_PORTS) {
    probes.push_back(probe(os, port, false));
    if (probes.back().accepts) break;
  }
  return probes;
}

std::string fallback_ports_text() {
  return std::to_string(FALLBACK_PORTS.front()) + " to " +
         std::to_string(FALLBACK_PORTS.back());
}

std::string lock_line(const LockFile& lock) {
  return lock.path + ": " + (lock.present ? "present" : "absent");
}

Check running_check(const AppState& app) {
  Check check =
      make_check("app_running", "Desktop app running",
                 "temporary directory: " + app.directory + "\n" +
                     lock_line(app.dev_lock) + "\n" + lock_line(app.prod_lock));
  check.ok = app.locked();
  if (check.ok) return check;
  const PortProbe* answering = app.answering();
  if (answering != nullptr) {
    check.add_line("yet port " + std::to_string(answering->port) +
                   " accepts connections: an app runs, but keeps its lock "
                   "file elsewhere");
    check.fix =
        "run the Tavorin Desktop App as this user, so that its lock "
        "file is in " +
        app.directory + " (the host looks nowhere else)";
    return check;
  }
  check.fix = "start the Tavorin Desktop App (as this user)";
  return check;
}

std::string probe_line(const PortProbe& probe) {
  std::string line = "port " + std::to_string(probe.port);
  if (probe.from_file) line += " (from the port file)";
  if (probe.accepts) return line + ": accepts a connection";
  if (probe.foreign) {
    return line +
           ": another user's program listens here, which the host "
           "never talks to";
  }
  return line + ": nobody listens (" + probe.refusal + ")";
}

void explain_unreachable(const AppState& app, Check& check) {
  const PortFile& file = app.port_file;
  if (!app.locked()) {
    check.add_line("nothing listens: the app is not running");
    check.fix = "start the Tavorin Desktop App (as this user)";
  } else if (file.port) {
    check.add_line("stale lock file and port file: the port file names port " +
                   std::to_string(*file.port) +
                   ", where nobody listens, and nothing listens on " +
                   fallback_ports_text() + " either");
    check.fix =
        "restart the Tavorin Desktop App; if it is not running, "
        "delete the stale " +
        app.lock_path() + " and " + file.path;
  } else {
    check.add_line("stale lock file: " + app.lock_path() +
                   " is there, but nothing listens on " +
                   fallback_ports_text() +
                   " and no usable port file says where else to look");
    check.fix =
        "if the Tavorin Desktop App is not running, delete the stale "
        "lock file " +
        app.lock_path() +
        "; if it is, restart it so that it writes its port to " + file.path;
  }
}

Check reachable_check(const AppState& app) {
  Check check =
      make_check("app_reachable", "Desktop app reachable on 127.0.0.1",
                 app.port_file.path + ": " + app.port_file.status);
  check.ok = app.answering() != nullptr;
  for (const PortProbe& probe : app.probes) {
    check.add_line(probe_line(probe));
  }
  if (!check.ok) explain_unreachable(app, check);
  return check;
}

}  // namespace

std::vector<Check> check_desktop_app(Platform& os) {
  AppState app;
  app.directory = os.temp_directory();
  app.dev_lock = find_lock(os, app.directory, DEV_LOCK_FILE);
  app.prod_lock = find_lock(os, app.directory, PROD_LOCK_FILE);
  app.port_file = read_port(os, app.directory);
  app.probes = probe_ports(os, app.port_file);
  return {running_check(app), reachable_check(app)};
}

}  // namespace tavorin::doctor
