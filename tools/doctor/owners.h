#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavorin {
class Platform;
}

namespace tavorin::doctor {

// Whose are the files and listeners the host finds. Whether the host passes
// one over is the host's own rule, asked through its platform layer; these
// say whom it belongs to, so that the report and its fix can name them.

struct Owner {
  std::string name;  // as the system names the user: "bob (uid 1001)"
  // Another user than the one running the doctor, root excepted, as the
  // host excepts it: whose files and listeners the host never trusts.
  bool stranger = false;
};

// The owner of the entry itself (of a link, the link's), or nothing when it
// cannot be looked at.
std::optional<Owner> file_owner(const std::string& path);

// The owner of the program that listens on 127.0.0.1 at the port, or nothing
// when the system does not say.
std::optional<Owner> listener_owner(Platform& os, std::uint16_t port);

}  // namespace tavorin::doctor
