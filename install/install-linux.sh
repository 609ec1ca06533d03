#!/bin/sh
# Registers the host with Chromium-family browsers on Linux, or removes it.
#
#   install-linux.sh --extension ID [--extension ID ...] [--path /abs/tavorin_shim]
#                    [--browser chrome|chromium|edge|brave|all]... [--system]
#                    [--user-data-dir DIR] [--uninstall]
#
# Idempotent: installing twice leaves the same files, uninstalling removes
# exactly the manifests this script writes.
set -eu

HOST_NAME=com.tavorin.desktop
here=$(cd "$(dirname "$0")" && pwd)
template="$here/$HOST_NAME.json.in"

die() { echo "install-linux.sh: $*" >&2; exit 2; }

host_path=""
extensions=""
browsers=""
scope=user
user_data_dir=""
action=install

while [ $# -gt 0 ]; do
  case "$1" in
    --extension) [ $# -ge 2 ] || die "--extension needs an ID"; extensions="$extensions $2"; shift 2 ;;
    --path) [ $# -ge 2 ] || die "--path needs a file"; host_path=$2; shift 2 ;;
    --browser) [ $# -ge 2 ] || die "--browser needs a name"; browsers="$browsers $2"; shift 2 ;;
    --system) scope=system; shift ;;
    --user-data-dir) [ $# -ge 2 ] || die "--user-data-dir needs a folder"; user_data_dir=$2; shift 2 ;;
    --uninstall) action=uninstall; shift ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) die "unknown option: $1" ;;
  esac
done

[ -n "$browsers" ] || browsers=all
[ "$browsers" = " all" ] || [ "$browsers" = all ] && browsers="chrome chromium edge brave"

# The folder where each browser looks for host manifests.
manifest_dir() {
  if [ -n "$user_data_dir" ]; then echo "$user_data_dir/NativeMessagingHosts"; return; fi
  case "$scope:$1" in
    user:chrome) echo "$HOME/.config/google-chrome/NativeMessagingHosts" ;;
    user:chromium) echo "$HOME/.config/chromium/NativeMessagingHosts" ;;
    user:edge) echo "$HOME/.config/microsoft-edge/NativeMessagingHosts" ;;
    user:brave) echo "$HOME/.config/BraveSoftware/Brave-Browser/NativeMessagingHosts" ;;
    system:chrome) echo "/etc/opt/chrome/native-messaging-hosts" ;;
    system:chromium) echo "/etc/chromium/native-messaging-hosts" ;;
    system:edge) echo "/etc/opt/edge/native-messaging-hosts" ;;
    system:brave) echo "/etc/opt/brave.com/brave/native-messaging-hosts" ;;
    *) die "unknown browser: $1 (chrome, chromium, edge, brave or all)" ;;
  esac
}

# Every browser is checked before anything is written.
for browser in $browsers; do manifest_dir "$browser" >/dev/null; done

if [ "$action" = uninstall ]; then
  for browser in $browsers; do
    file="$(manifest_dir "$browser")/$HOST_NAME.json"
    if [ -f "$file" ]; then rm -f "$file"; echo "removed $file"; fi
  done
  exit 0
fi

[ -n "$extensions" ] || die "give at least one --extension ID"
[ -n "$host_path" ] || host_path="$here/tavorin_shim"
case "$host_path" in
  /*) ;;
  *) die "--path must be absolute (browsers refuse a relative host path on Linux): $host_path" ;;
esac
[ -x "$host_path" ] || die "no executable host at $host_path"
# The browser reads the manifest as UTF-8 JSON: the path must be UTF-8 and
# hold no character that the manifest would have to escape.
printf '%s' "$host_path" | iconv -f UTF-8 -t UTF-8 >/dev/null 2>&1 ||
  die "--path is not valid UTF-8: $host_path"
case "$host_path" in
  *\"*|*\\*) die "--path must not contain a double quote or a backslash: $host_path" ;;
esac
[ "$(printf '%s' "$host_path" | tr -d '\001-\037\177')" = "$host_path" ] ||
  die "--path must not contain a control character such as a line break"
# The same rule as on Windows, where the browser starts a host through
# cmd.exe and an & ends its command: one install layout works everywhere.
case "$(dirname "$host_path")" in
  *"&"*) die "the host's folder contains \"&\", from which the browser on Windows cannot start it; use a folder without \"&\": $(dirname "$host_path")" ;;
esac

origins=""
for id in $extensions; do
  echo "$id" | grep -Eq '^[a-p]{32}$' ||
    die "not an extension ID (32 letters a to p): $id"
  origins="$origins${origins:+, }\"chrome-extension://$id/\""
done

# The template's lines, with the two fields filled in. Not sed: a path may
# hold any of sed's own special characters.
write_manifest() {
  while IFS= read -r line; do
    case "$line" in
      *@HOST_PATH@*) printf '%s%s%s\n' "${line%%@HOST_PATH@*}" "$host_path" "${line#*@HOST_PATH@}" ;;
      *@ALLOWED_ORIGINS@*) printf '%s%s%s\n' "${line%%@ALLOWED_ORIGINS@*}" "$origins" "${line#*@ALLOWED_ORIGINS@}" ;;
      *) printf '%s\n' "$line" ;;
    esac
  done < "$template"
}

for browser in $browsers; do
  dir=$(manifest_dir "$browser")
  mkdir -p "$dir"
  file="$dir/$HOST_NAME.json"
  write_manifest > "$file.tmp"
  chmod 644 "$file.tmp"
  mv "$file.tmp" "$file"
  echo "installed $file"
done
