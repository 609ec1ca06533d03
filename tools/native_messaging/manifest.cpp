#include "manifest.h"

#include <algorithm>
#include <array>

#include "extension_ids.h"
#include "json.h"

namespace tavorin::native_messaging {

namespace {

constexpr std::string_view EXTENSION_SCHEME = "chrome-extension://";

// Firefox takes a manifest with exactly these members and no other.
constexpr std::array<std::string_view, 5> FIREFOX_MEMBERS = {
    "name", "description", "path", "type", "allowed_extensions"};

enum class Rules { Chromium, Firefox };

bool is_lower_or_digit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

const std::string* string_member(const JsonValue& object,
                                 std::string_view name) {
  const JsonValue* value = object.member(name);
  if (value == nullptr || value->kind != JsonValue::Kind::String) {
    return nullptr;
  }
  return &value->text;
}

class Checker {
 public:
  Checker(std::string_view host_name, System system, Rules rules)
      : host_name_(host_name), system_(system), rules_(rules) {}

  ManifestCheck run(std::string_view bytes) {
    if (bytes.starts_with(BYTE_ORDER_MARK)) {
      // Chromium's reader skips it, but other readers and tools choke on
      // it, and the installers never write one.
      note("the file begins with a UTF-8 byte-order mark",
           "save the manifest as UTF-8 without a byte-order mark", false);
    }
    auto parsed = parse_json(bytes);
    if (!parsed) {
      note(not_json_text(parsed.error()),
           "rewrite the manifest as valid UTF-8 JSON (reinstall the host)");
      return std::move(result_);
    }
    if (parsed->kind != JsonValue::Kind::Object) {
      note("the manifest is not a JSON object",
           "rewrite the manifest (reinstall the host)");
      return std::move(result_);
    }
    result_.manifest.emplace();
    if (rules_ == Rules::Firefox) check_members_firefox_knows(*parsed);
    check_name(*parsed);
    check_description(*parsed);
    check_type(*parsed);
    check_path(*parsed);
    if (rules_ == Rules::Firefox) {
      check_extensions(*parsed);
    } else {
      check_origins(*parsed);
    }
    return std::move(result_);
  }

 private:
  void note(std::string what, std::string fix, bool refuses = true) {
    result_.problems.push_back({std::move(what), std::move(fix), refuses});
  }

  static std::string not_json_text(const JsonError& error) {
    if (error.reason == NOT_UTF8_REASON) {
      return "the file is not UTF-8 (byte " + std::to_string(error.offset) +
             "), so the browser cannot read it";
    }
    return "the file is not valid JSON: " + error.reason + " at byte " +
           std::to_string(error.offset);
  }

  void check_name(const JsonValue& object) {
    const std::string* name = string_member(object, "name");
    if (name == nullptr || !is_valid_host_name(*name)) {
      note("\"name\" is missing or not a valid host name",
           "set \"name\" to \"" + std::string(host_name_) + "\"");
      return;
    }
    result_.manifest->name = *name;
    if (*name != host_name_) {
      note("\"name\" is \"" + *name + "\", not \"" + std::string(host_name_) +
               "\"",
           "set \"name\" to \"" + std::string(host_name_) + "\"");
    }
  }

  void check_members_firefox_knows(const JsonValue& object) {
    for (const JsonMember& member : object.members) {
      if (std::ranges::find(FIREFOX_MEMBERS, member.name) !=
          FIREFOX_MEMBERS.end()) {
        continue;
      }
      note("\"" + member.name +
               "\" is no member of a Firefox manifest, so Firefox refuses "
               "the whole file",
           "remove \"" + member.name +
               "\": Firefox takes only name, description, path, type and "
               "allowed_extensions");
    }
  }

  void check_description(const JsonValue& object) {
    const std::string* description = string_member(object, "description");
    // Firefox requires the member but takes it empty.
    if (rules_ == Rules::Firefox) {
      if (description != nullptr) {
        result_.manifest->description = *description;
      } else {
        note(
            "\"description\" is missing or not a text, which Firefox "
            "requires (it may be empty)",
            "give \"description\" a text");
      }
      return;
    }
    if (description == nullptr || description->empty()) {
      note("\"description\" is missing or empty",
           "give \"description\" a non-empty text");
      return;
    }
    result_.manifest->description = *description;
  }

  void check_type(const JsonValue& object) {
    const std::string* type = string_member(object, "type");
    if (type != nullptr) result_.manifest->type = *type;
    if (type == nullptr || *type != "stdio") {
      note("\"type\" is not \"stdio\"", "set \"type\" to \"stdio\"");
    }
  }

  void check_path(const JsonValue& object) {
    const std::string* path = string_member(object, "path");
    if (path == nullptr || path->empty()) {
      note("\"path\" is missing or empty",
           "set \"path\" to the host program's path");
      return;
    }
    result_.manifest->path = *path;
    if (system_ == System::Linux && !path->starts_with('/')) {
      note("\"path\" is not absolute: \"" + *path + "\"",
           "set \"path\" to the host's absolute path (Linux browsers take "
           "no relative path)");
    }
  }

  void check_origins(const JsonValue& object) {
    const JsonValue* origins = object.member("allowed_origins");
    if (origins == nullptr || origins->kind != JsonValue::Kind::Array) {
      note("\"allowed_origins\" is missing or not a list",
           "list the extension as \"chrome-extension://<ID>/\" in "
           "\"allowed_origins\"");
      return;
    }
    for (const JsonValue& origin : origins->items) {
      if (origin.kind != JsonValue::Kind::String) {
        note("\"allowed_origins\" holds something other than a text",
             "list only texts of the form \"chrome-extension://<ID>/\"");
        continue;
      }
      result_.manifest->allowed_origins.push_back(origin.text);
      if (!is_extension_origin(origin.text)) note_bad_origin(origin.text);
    }
  }

  void check_extensions(const JsonValue& object) {
    const JsonValue* ids = object.member("allowed_extensions");
    if (ids == nullptr || ids->kind != JsonValue::Kind::Array ||
        ids->items.empty()) {
      note("\"allowed_extensions\" is missing, empty or not a list",
           "list the extension's Firefox ID in \"allowed_extensions\"");
      return;
    }
    for (const JsonValue& id : ids->items) {
      if (id.kind != JsonValue::Kind::String) {
        note("\"allowed_extensions\" holds something other than a text",
             "list only Firefox IDs, as texts");
        continue;
      }
      result_.manifest->allowed_extensions.push_back(id.text);
      note_bad_firefox_id(id.text);
    }
  }

  // One ill-formed ID makes Firefox refuse the whole list, and with it the
  // manifest, whatever else the list holds.
  void note_bad_firefox_id(const std::string& id) {
    ExtensionIdForm form = extension_id_form(id);
    if (form == ExtensionIdForm::Firefox) return;
    if (form == ExtensionIdForm::Chromium) {
      note("\"" + id +
               "\" in \"allowed_extensions\" is a Chrome-family ID, which "
               "Firefox refuses there",
           "keep only Firefox IDs (name@domain or {GUID}) in this manifest; "
           "a Chrome-family ID belongs in the Chrome-family manifest's "
           "\"allowed_origins\"");
      return;
    }
    note("\"" + id +
             "\" in \"allowed_extensions\" is not a Firefox ID (name@domain "
             "or {GUID})",
         "write each entry as the extension's Firefox ID, as its manifest "
         "gives it in browser_specific_settings.gecko.id");
  }

  void note_bad_origin(const std::string& origin) {
    if (extension_id_form(origin) == ExtensionIdForm::Firefox) {
      note("origin \"" + origin +
               "\" is a Firefox ID, which Chromium-family browsers never "
               "match",
           "list it in the Firefox manifest's \"allowed_extensions\" "
           "instead");
      return;
    }
    bool missing_slash = origin.starts_with(EXTENSION_SCHEME) &&
                         is_extension_origin(origin + "/");
    if (missing_slash) {
      note("origin \"" + origin + "\" lacks its trailing \"/\"",
           "write it as \"" + origin + "/\"");
      return;
    }
    note("origin \"" + origin +
             "\" is not chrome-extension://<32 letters a to p>/",
         "write each origin as \"chrome-extension://<extension ID>/\"");
  }

  std::string_view host_name_;
  System system_;
  Rules rules_;
  ManifestCheck result_;
};

}  // namespace

bool ManifestCheck::browser_accepts() const {
  if (!manifest) return false;
  for (const ManifestProblem& problem : problems) {
    if (problem.browser_refuses) return false;
  }
  return true;
}

bool is_extension_origin(std::string_view origin) {
  // The scheme's own "//" must not pass for the closing "/".
  if (origin.size() <= EXTENSION_SCHEME.size() ||
      !origin.starts_with(EXTENSION_SCHEME) || !origin.ends_with('/')) {
    return false;
  }
  std::string_view id = origin.substr(EXTENSION_SCHEME.size());
  id.remove_suffix(1);
  return extension_id_form(id) == ExtensionIdForm::Chromium;
}

bool is_valid_host_name(std::string_view name) {
  if (name.empty() || name.front() == '.' || name.back() == '.') return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c == '.' && name[i - 1] == '.') return false;
    if (!is_lower_or_digit(c) && c != '.' && c != '_') return false;
  }
  return true;
}

ManifestCheck check_manifest(std::string_view bytes, std::string_view host_name,
                             System system) {
  return Checker(host_name, system, Rules::Chromium).run(bytes);
}

ManifestCheck check_firefox_manifest(std::string_view bytes,
                                     std::string_view host_name,
                                     System system) {
  return Checker(host_name, system, Rules::Firefox).run(bytes);
}

}  // namespace tavorin::native_messaging
