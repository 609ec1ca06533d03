#include "firefox_policies.h"

#include <algorithm>

#include "browsers.h"
#include "json.h"
#include "system.h"

namespace tavorin::doctor {

namespace {

using native_messaging::JsonValue;

constexpr std::string_view PERMISSION = "nativeMessaging";

const JsonValue* object_member(const JsonValue* object, std::string_view name) {
  if (object == nullptr || object->kind != JsonValue::Kind::Object) {
    return nullptr;
  }
  const JsonValue* value = object->member(name);
  return value != nullptr && value->kind == JsonValue::Kind::Object ? value
                                                                    : nullptr;
}

bool lists(const JsonValue* entry, std::string_view list,
           std::string_view text) {
  const JsonValue* items = entry == nullptr ? nullptr : entry->member(list);
  if (items == nullptr || items->kind != JsonValue::Kind::Array) return false;
  return std::ranges::any_of(items->items, [&](const JsonValue& item) {
    return item.kind == JsonValue::Kind::String && item.text == text;
  });
}

// How Firefox settles an extension's settings: an entry of its own replaces
// "*" whole, and its allowed_permissions take permissions off the block list.
struct Settled {
  const JsonValue* entry = nullptr;
  bool own = false;
};

Settled settle(const JsonValue& settings, std::string_view id) {
  if (const JsonValue* own =
          id.empty() ? nullptr : object_member(&settings, id)) {
    return {own, true};
  }
  return {object_member(&settings, "*"), false};
}

std::string who(std::string_view id, const Settled& settled) {
  std::string name = id.empty() ? "every extension" : std::string(id);
  return settled.own ? name : name + " (by its default entry \"*\")";
}

void judge_one(std::string_view file, const JsonValue& settings,
               std::string_view id, FirefoxPolicyFindings& findings) {
  Settled settled = settle(settings, id);
  if (settled.entry == nullptr) return;
  std::string allow_it =
      "ask the administrator to give the extension " +
      (id.empty() ? std::string("(its Firefox ID)") : std::string(id)) +
      " an ExtensionSettings entry of its own in " + std::string(file);
  const JsonValue* mode = settled.entry->member("installation_mode");
  if (mode != nullptr && mode->kind == JsonValue::Kind::String &&
      mode->text == "blocked") {
    findings.lines.push_back(std::string(file) + ": ExtensionSettings blocks " +
                             who(id, settled) +
                             " (installation_mode \"blocked\")");
    if (findings.fix.empty()) findings.fix = allow_it;
  }
  bool blocked =
      lists(settled.entry, "blocked_permissions", PERMISSION) &&
      !(settled.own && lists(settled.entry, "allowed_permissions", PERMISSION));
  if (!blocked) return;
  findings.lines.push_back(
      std::string(file) +
      ": ExtensionSettings blocks the permission "
      "nativeMessaging for " +
      who(id, settled) + " (blocked_permissions), so Firefox does not run it");
  if (findings.fix.empty()) {
    findings.fix = allow_it + ", with \"allowed_permissions\": [\"" +
                   std::string(PERMISSION) + "\"]";
  }
}

}  // namespace

FirefoxPolicyFindings judge_firefox_policies(
    std::string_view file, std::string_view text,
    std::span<const std::string> extension_ids) {
  FirefoxPolicyFindings findings;
  auto parsed = native_messaging::parse_json(text);
  if (!parsed) {
    findings.lines.push_back(std::string(file) +
                             ": not valid JSON, so Firefox applies none of it");
    return findings;
  }
  const JsonValue* settings =
      object_member(object_member(&*parsed, "policies"), "ExtensionSettings");
  if (settings == nullptr) {
    findings.lines.push_back(std::string(file) + ": no ExtensionSettings");
    return findings;
  }
  std::vector<std::string> ids(extension_ids.begin(), extension_ids.end());
  if (ids.empty()) ids.emplace_back();
  for (const std::string& id : ids) judge_one(file, *settings, id, findings);
  if (findings.lines.empty()) {
    findings.lines.push_back(std::string(file) +
                             ": ExtensionSettings blocks neither the "
                             "extension nor its permission nativeMessaging");
  }
  return findings;
}

FirefoxPolicySource read_policy_file(Platform& os, const std::string& file) {
  auto bytes = read_file_bytes(os, file);
  if (!bytes) return {file, std::nullopt, bytes.error().what};
  return {file, std::string(bytes->view()), {}};
}

Check check_firefox_policies(Platform& os,
                             std::span<const std::string> extension_ids) {
  FirefoxPolicySources found = firefox_policy_sources(os);
  Check check =
      make_check("policy:firefox", "Policies of Firefox", found.description,
                 native_messaging::find_browser("firefox"));
  check.ok = true;
  if (found.sources.empty()) {
    check.add_line("none of them is there");
    return check;
  }
  for (const FirefoxPolicySource& source : found.sources) {
    if (!source.text) {
      check.add_line(source.unreadable);
      continue;
    }
    FirefoxPolicyFindings findings =
        judge_firefox_policies(source.where, *source.text, extension_ids);
    for (const std::string& line : findings.lines) check.add_line(line);
    if (!findings.fix.empty() && check.ok) {
      check.ok = false;
      check.fix = findings.fix;
    }
  }
  return check;
}

}  // namespace tavorin::doctor
