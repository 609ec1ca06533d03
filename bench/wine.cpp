#include "wine.h"

#include <unistd.h>

#include <cstdio>
#include <string_view>

#include "fail.h"

namespace bench {

namespace {

constexpr std::string_view READY_MARKER = "/tavorin_bench_ready";

bool file_exists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

// Wine does not take the Unix temporary directory: its programs learn it
// from the user's TEMP and TMP, which expand TAVORIN_TMP as each starts.
std::vector<std::string> temp_setting(const char* name) {
  return {"wine", "reg",           "add", "HKCU\\Environment", "/v", name,
          "/t",   "REG_EXPAND_SZ", "/d",  "%TAVORIN_TMP%",     "/f"};
}

}  // namespace

WineSession::WineSession(std::string prefix) : prefix_(std::move(prefix)) {
  if (!file_exists(prefix_ + std::string(READY_MARKER))) prepare();
  start_server();
  // Wine's background programs start now, with their standard streams on
  // /dev/null, rather than with the first host, whose pipes they would hold.
  if (run_quietly({"wineboot"}, environment()) != 0) fail("wineboot");
}

void WineSession::start_server() const {
  if (run_quietly({"wineserver", "-p"}, environment()) == 0) return;
  // A server of this prefix left running (by a run that was stopped) cannot
  // be made persistent: it is stopped and a new one started.
  run_quietly({"wineserver", "-k"}, environment());
  if (run_quietly({"wineserver", "-p"}, environment()) != 0) {
    fail("wineserver -p did not start");
  }
}

WineSession::~WineSession() {
  run_quietly({"wineserver", "-k"}, environment());
}

void WineSession::prepare() const {
  std::fprintf(stderr, "relay_bench: preparing the Wine prefix %s (once)\n",
               prefix_.c_str());
  std::vector<std::string> wine_environment = environment();
  if (run_quietly({"wineboot", "-u"}, wine_environment) != 0) {
    fail("wineboot -u");
  }
  for (const char* name : {"TEMP", "TMP"}) {
    if (run_quietly(temp_setting(name), wine_environment) != 0) {
      fail("wine reg add");
    }
  }
  // The server writes the registry out as it ends by itself.
  run_quietly({"wineserver", "-w"}, wine_environment);
  FILE* marker = std::fopen((prefix_ + std::string(READY_MARKER)).c_str(), "w");
  if (marker != nullptr) std::fclose(marker);
}

std::vector<std::string> WineSession::variables() const {
  return {"WINEPREFIX=" + prefix_, "WINEDEBUG=-all"};
}

std::vector<std::string> WineSession::environment() const {
  return environment_with(variables());
}

Relay WineSession::relay(const std::string& name,
                         const std::string& program) const {
  Relay relay;
  relay.name = name;
  relay.command = {"wine", program};
  relay.environment = variables();
  relay.under_wine = true;
  return relay;
}

}  // namespace bench
