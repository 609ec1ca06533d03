#include "desktop_app.h"

#include <cstdint>
#include <optional>
#include <string>

#include "app_link/connect_to_app.h"
#include "app_link/instance_detection.h"
#include "app_link/loopback_connection.h"
#include "app_link/port_file.h"
#include "log/error_text.h"
#include "owners.h"
#include "platform/platform.h"
#include "platform/temp_path.h"
#include "system.h"
#include "text/quoted_path.h"

namespace tavorin::doctor {

namespace {

// Enough of a port file to recognise it; a longer one is no port anyway.
constexpr std::size_t SHOWN_PORT_TEXT = 40;

// Each file may be there and yet absent by the host's rules: on Linux,
// another user's in a directory other users can write, where anyone can
// plant one. `stranger` then says whose it is.
struct LockFile {
  std::string path;
  bool present = false;
  std::optional<Owner> stranger;
};

struct PortFile {
  std::string path;
  std::string status;  // what its content means, for the report
  std::optional<std::uint16_t> port;
  std::optional<Owner> stranger;
};

struct PortProbe {
  std::uint16_t port;
  bool from_file;
  bool accepts;
  bool foreign;  // a listener of another user, which the host passes over
  std::optional<Owner> owner;
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
  const PortProbe* foreign_listener() const {
    for (const PortProbe& probe : probes) {
      if (probe.foreign) return &probe;
    }
    return nullptr;
  }
  const LockFile* strangers_lock() const {
    if (dev_lock.stranger) return &dev_lock;
    if (prod_lock.stranger) return &prod_lock;
    return nullptr;
  }
  const std::string& lock_path() const {
    return prod_lock.present ? prod_lock.path : dev_lock.path;
  }
};

// The owner of a file the host does not see although it is there: the
// host's rules say whether it sees it, the browser's plain view of the file
// system whether it is there at all, and the system whose it is.
std::optional<Owner> ignored_strangers_file(Platform& os,
                                            const std::string& path) {
  if (os.path_exists(path) || !path_exists(path)) return std::nullopt;
  std::optional<Owner> owner = file_owner(path);
  if (!owner || !owner->stranger) return std::nullopt;
  return owner;
}

std::string whose(const std::optional<Owner>& owner) {
  return owner ? owner->name : "another user";
}

std::string ignored_text(const Owner& stranger) {
  return "ignored: it belongs to another user, " + stranger.name;
}

LockFile find_lock(Platform& os, const std::string& directory,
                   std::string_view name) {
  LockFile lock{join_path(directory, name), false, std::nullopt};
  lock.present = os.path_exists(lock.path);
  if (!lock.present) lock.stranger = ignored_strangers_file(os, lock.path);
  return lock;
}

PortFile read_port(Platform& os, const std::string& directory) {
  PortFile file{join_path(directory, PORT_FILE), "", std::nullopt,
                ignored_strangers_file(os, join_path(directory, PORT_FILE))};
  if (file.stranger) {
    file.status = ignored_text(*file.stranger);
    return file;
  }
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

bool refused_as_foreign(const IoError& error) {
  return error.kind() == FOREIGN_LISTENER_ERROR.kind() &&
         error.message() == FOREIGN_LISTENER_ERROR.message();
}

// A listener of another user is never the app's: where the host checks the
// owner it refuses the connection, and where the system names the owner
// the doctor holds a listener the host accepted to the same rule.
PortProbe probe(Platform& os, std::uint16_t port, bool from_file) {
  PortProbe result{port, from_file, false, false, std::nullopt, {}};
  // Closed as soon as it opens: the app sees a connection end unused.
  Result<Socket> connection = open_loopback_connection(os, port);
  if (connection) {
    result.owner = listener_owner(os, port);
    result.foreign = result.owner && result.owner->stranger;
    result.accepts = !result.foreign;
    return result;
  }
  result.refusal = error_text(os, connection.error());
  result.foreign = refused_as_foreign(connection.error());
  // Named only when the system names another user: the host may have
  // passed the listener over because it could not tell whose it is.
  std::optional<Owner> owner =
      result.foreign ? listener_owner(os, port) : std::nullopt;
  if (owner && owner->stranger) result.owner = owner;
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
  if (lock.stranger) return lock.path + ": " + ignored_text(*lock.stranger);
  return lock.path + ": " + (lock.present ? "present" : "absent");
}

std::string strangers_lock_fix(const AppState& app, const LockFile& lock) {
  return "run the Tavorin Desktop App as this user, not as " +
         lock.stranger->name + ": in " + app.directory +
         ", which other users can write, the host ignores their files; if " +
         lock.stranger->name +
         " runs no app, have them or an administrator delete " + lock.path;
}

Check running_check(const AppState& app) {
  Check check =
      make_check("app_running", "Desktop app running",
                 "temporary directory: " + app.directory + "\n" +
                     lock_line(app.dev_lock) + "\n" + lock_line(app.prod_lock));
  check.ok = app.locked();
  if (check.ok) return check;
  if (const LockFile* lock = app.strangers_lock()) {
    check.fix = strangers_lock_fix(app, *lock);
    return check;
  }
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
  if (probe.foreign) return line + ": a program of another user listens";
  return line + ": nobody listens (" + probe.refusal + ")";
}

// Another user's port file or listener stands where the app's should: the
// host never trusts either, so only the app run as this user helps.
void explain_strangers(const AppState& app, Check& check) {
  const PortFile& file = app.port_file;
  std::string fix;
  if (file.stranger) {
    fix =
        "run the Tavorin Desktop App as this user, so that it writes a "
        "port file of its own; if " +
        file.stranger->name +
        " runs no app, have them or an administrator delete " + file.path;
  }
  if (const PortProbe* foreign = app.foreign_listener()) {
    std::string port = std::to_string(foreign->port);
    check.add_line("port " + port + " is held by a program of " +
                   whose(foreign->owner) +
                   ", to which the host never sends a message");
    fix += (fix.empty() ? "" : "; ") + std::string("have ") +
           whose(foreign->owner) +
           " or an administrator stop the program on port " + port +
           ", and run the Tavorin Desktop App as this user";
  }
  check.fix = fix;
}

void explain_unreachable(const AppState& app, Check& check) {
  const PortFile& file = app.port_file;
  if (file.stranger || app.foreign_listener() != nullptr) {
    explain_strangers(app, check);
  } else if (!app.locked()) {
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
