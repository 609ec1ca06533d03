#!/bin/sh
# Prints the DLLs the Windows program imports and fails unless they are
# exactly KERNEL32.dll, ntdll.dll and WS2_32.dll (in any letter case): a
# C runtime or libstdc++ DLL would not be on the user's machine.
set -eu

if [ "$#" -ne 1 ]; then
  echo "usage: $0 path/to/tavorin_shim.exe" >&2
  exit 2
fi
exe=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}

# Fail loudly on an unreadable file rather than report "no imports".
headers=$("$objdump" -p "$exe") || {
  echo "cannot read the import table of $exe" >&2
  exit 2
}
imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p')
printf '%s\n' "$imports"

actual=$(printf '%s\n' "$imports" | tr '[:upper:]' '[:lower:]' | sort)
expected=$(printf '%s\n' kernel32.dll ntdll.dll ws2_32.dll | sort)
if [ "$actual" != "$expected" ]; then
  echo "unexpected imports: want exactly KERNEL32.dll, ntdll.dll, WS2_32.dll" >&2
  exit 1
fi
