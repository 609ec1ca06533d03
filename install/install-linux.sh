#!/bin/sh
# Registers the host with the browsers on Linux, or removes it.
#
#   install-linux.sh --extension ID [--extension ID ...] [--path /abs/tavorin_shim]
#                    [--browser chrome|chromium|edge|brave|firefox|all]... [--system]
#                    [--user-data-dir DIR] [--uninstall]
#
# Each ID is sorted by its form: 32 letters a to p is a Chrome-family ID
# (Chrome, Chromium, Edge, Brave: "allowed_origins"), name@domain or a GUID
# in braces a Firefox ID ("allowed_extensions"). Without --browser, every
# browser whose kind of ID was given. --user-data-dir is for the Chromium
# family; Firefox has one folder per user and one for the system. DESTDIR,
# when set, is put before every folder written, for packaging.
#
# Idempotent: installing twice leaves the same files, uninstalling removes
# exactly the manifests this script writes.
set -eu
set -f  # an ID such as "*" stays itself

HOST_NAME=com.tavorin.desktop
CHROMIUM_FAMILY="chrome chromium edge brave"
here=$(cd "$(dirname "$0")" && pwd)
template="$here/$HOST_NAME.json.in"
DESTDIR=${DESTDIR:-}

die() { echo "install-linux.sh: $*" >&2; exit 2; }

# The form of an ID, as the browsers themselves check it: the whole ID, so
# a line break in it makes it none (grep would judge each line alone).
NEWLINE='
'
id_form() {
  case "$1" in *"$NEWLINE"*) echo neither; return ;; esac
  if printf '%s\n' "$1" | LC_ALL=C grep -Eqx '[a-p]{32}'; then
    echo chromium
  elif printf '%s\n' "$1" | LC_ALL=C grep -Eqix \
      '\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\}|[a-z0-9._-]*@[a-z0-9._-]+'; then
    echo firefox
  else
    echo neither
  fi
}

# Adds one ID, as it was given (white space in it is no separator), to the
# Chrome family's origins or to Firefox's IDs.
origins=""
firefox_ids=""
sort_id() {
  case "$(id_form "$1")" in
    chromium) origins="$origins${origins:+, }\"chrome-extension://$1/\"" ;;
    firefox) firefox_ids="$firefox_ids${firefox_ids:+, }\"$1\"" ;;
    *) die "not an extension ID: $1 (a Chrome-family ID is 32 letters a to p; a Firefox ID is name@domain or a GUID in braces)" ;;
  esac
}

host_path=""
browsers=""
scope=user
user_data_dir=""
action=install

while [ $# -gt 0 ]; do
  case "$1" in
    --extension) [ $# -ge 2 ] || die "--extension needs an ID"; sort_id "$2"; shift 2 ;;
    --path) [ $# -ge 2 ] || die "--path needs a file"; host_path=$2; shift 2 ;;
    --browser) [ $# -ge 2 ] || die "--browser needs a name"; browsers="$browsers $2"; shift 2 ;;
    --system) scope=system; shift ;;
    --user-data-dir) [ $# -ge 2 ] || die "--user-data-dir needs a folder"; user_data_dir=$2; shift 2 ;;
    --uninstall) action=uninstall; shift ;;
    -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
    *) die "unknown option: $1" ;;
  esac
done

family_of() { [ "$1" = firefox ] && echo firefox || echo chromium; }

# Without --browser (or with "all"): on install, every browser whose kind of
# ID was given; on uninstall, every browser.
if [ -z "$browsers" ] || [ "$browsers" = " all" ]; then
  browsers=""
  if [ "$action" = uninstall ] || [ -n "$origins" ]; then browsers="$CHROMIUM_FAMILY"; fi
  if [ "$action" = uninstall ] || [ -n "$firefox_ids" ]; then browsers="$browsers firefox"; fi
fi

# The folder where each browser looks for host manifests.
manifest_dir() {
  if [ -n "$user_data_dir" ] && [ "$1" != firefox ]; then
    echo "$user_data_dir/NativeMessagingHosts"; return
  fi
  case "$scope:$1" in
    user:chrome) echo "$HOME/.config/google-chrome/NativeMessagingHosts" ;;
    user:chromium) echo "$HOME/.config/chromium/NativeMessagingHosts" ;;
    user:edge) echo "$HOME/.config/microsoft-edge/NativeMessagingHosts" ;;
    user:brave) echo "$HOME/.config/BraveSoftware/Brave-Browser/NativeMessagingHosts" ;;
    user:firefox) echo "$HOME/.mozilla/native-messaging-hosts" ;;
    system:chrome) echo "/etc/opt/chrome/native-messaging-hosts" ;;
    system:chromium) echo "/etc/chromium/native-messaging-hosts" ;;
    system:edge) echo "/etc/opt/edge/native-messaging-hosts" ;;
    system:brave) echo "/etc/opt/brave.com/brave/native-messaging-hosts" ;;
    system:firefox) echo "/usr/lib/mozilla/native-messaging-hosts" ;;
    *) die "unknown browser: $1 (chrome, chromium, edge, brave, firefox or all)" ;;
  esac
}

# Every browser is checked before anything is written.
for browser in $browsers; do
  manifest_dir "$browser" >/dev/null
  [ "$action" = uninstall ] && continue
  if [ "$(family_of "$browser")" = firefox ]; then
    [ -n "$firefox_ids" ] ||
      die "--browser firefox needs a Firefox extension ID (name@domain or a GUID in braces)"
  else
    [ -n "$origins" ] ||
      die "--browser $browser needs a Chrome-family extension ID (32 letters a to p)"
  fi
done

if [ "$action" = uninstall ]; then
  for browser in $browsers; do
    file="$DESTDIR$(manifest_dir "$browser")/$HOST_NAME.json"
    if [ -f "$file" ]; then rm -f "$file"; echo "removed $file"; fi
  done
  exit 0
fi

[ -n "$origins$firefox_ids" ] || die "give at least one --extension ID"
[ -n "$host_path" ] || host_path="$here/tavorin_shim"
case "$host_path" in
  /*) ;;
  *) die "--path must be absolute (browsers refuse a relative host path on Linux): $host_path" ;;
esac
[ -x "$DESTDIR$host_path" ] || die "no executable host at $DESTDIR$host_path"
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

# The template's lines, with the fields filled in. Not sed: a path may hold
# any of sed's own special characters. Firefox's manifest is the same but
# for its list, "allowed_extensions" of IDs as they are: Firefox refuses a
# manifest with any member it does not know, "allowed_origins" included.
write_manifest() {
  while IFS= read -r line; do
    case "$1:$line" in
      *@HOST_PATH@*) printf '%s%s%s\n' "${line%%@HOST_PATH@*}" "$host_path" "${line#*@HOST_PATH@}" ;;
      firefox:*\"allowed_origins\":*@ALLOWED_ORIGINS@*) printf '%s"allowed_extensions": [%s%s\n' "${line%%\"allowed_origins\"*}" "$firefox_ids" "${line#*@ALLOWED_ORIGINS@}" ;;
      *@ALLOWED_ORIGINS@*) printf '%s%s%s\n' "${line%%@ALLOWED_ORIGINS@*}" "$origins" "${line#*@ALLOWED_ORIGINS@}" ;;
      *) printf '%s\n' "$line" ;;
    esac
  done < "$template"
}

for browser in $browsers; do
  dir="$DESTDIR$(manifest_dir "$browser")"
  mkdir -p "$dir"
  file="$dir/$HOST_NAME.json"
  write_manifest "$(family_of "$browser")" > "$file.tmp"
  chmod 644 "$file.tmp"
  mv "$file.tmp" "$file"
  echo "installed $file"
done
