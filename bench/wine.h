#pragma once

#include <string>

#include "relay.h"

namespace bench {

// A Wine prefix of the benchmark's own, prepared once and kept beside the
// build, in which the Windows host finds the same temporary directory as
// the others; and a Wine server kept running while the object lives, so
// each start of the host does not pay for starting one.
class WineSession {
 public:
  explicit WineSession(std::string prefix);
  ~WineSession();
  WineSession(const WineSession&) = delete;
  WineSession& operator=(const WineSession&) = delete;

  // The Windows program as a relay under this prefix.
  Relay relay(const std::string& name, const std::string& program) const;

 private:
  void prepare() const;
  void start_server() const;
  // The variables that pick this prefix and quiet Wine's own messages.
  std::vector<std::string> variables() const;
  // This process's environment with those variables.
  std::vector<std::string> environment() const;

  std::string prefix_;
};

}  // namespace bench
