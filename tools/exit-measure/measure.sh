#!/usr/bin/env bash
# measure.sh DIR BITS RUNS [MODULE]
#
# Counts how short-lived COM hosts end under Wine: RUNS processes of each
# host and object kind, in a 64-bit (WoW64) prefix under DIR (made on first
# use), with hosts of the given bitness (32 or 64).
#
# Hosts: cscript with gateway.js or dictionary.js, and ExitHost (built here
# from ExitHost.cpp) with "gateway" or "dictionary", once releasing the
# object and uninitialising COM before it ends (COM then unloads the module
# before the process ends) and once ending with both held ("ExitHostKeep":
# the module is unloaded as the process ends, as cscript does). With MODULE (a
# Tellavo.dll of that bitness) the gateway runs are made, after registering
# that module in the prefix and pointing the gateway host at a closed port;
# without it only the baseline runs with the system object are made.
#
# Half the runs start with no wineserver (each then starts its own, which
# this script stops again before the next such run), half with a persistent
# one, alternating. One line per run goes to DIR/runs-BITS.csv:
#   label,bits,host,object,server,status
# (status >= 128: the Wine process ended by a signal; 124: hung and killed
# after 120 s), and the standard error of each run that did not end with 0
# to DIR/failures-BITS.log. summary.sh counts them. WINEDEBUG, when set,
# replaces the default -all (for instance err+all,+seh, to see what a
# crashing run reports).
set -uo pipefail

[ $# -ge 3 ] || { echo "usage: measure.sh DIR BITS RUNS [MODULE]" >&2; exit 2; }
dir=$(realpath -m "$1") bits=$2 runs=$3 module=${4:-}
label=${LABEL:-$( [ -n "$module" ] && echo module || echo baseline )}
here=$(dirname "$(realpath "$0")")

export WINEPREFIX="$dir/wineprefix" WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree=;mshtml="
unset DISPLAY WAYLAND_DISPLAY
case $bits in
  32) loader=/usr/lib/wine/wine cscript='C:\windows\syswow64\cscript.exe'
      compiler=i686-w64-mingw32-g++-posix view=/reg:32 ;;
  64) loader=/usr/lib/wine/wine64 cscript='C:\windows\system32\cscript.exe'
      compiler=x86_64-w64-mingw32-g++-posix view=/reg:64 ;;
  *) echo "BITS is 32 or 64" >&2; exit 2 ;;
esac

mkdir -p "$dir"
files="$WINEPREFIX/drive_c/exit-measure"
if [ ! -d "$WINEPREFIX" ]; then
  wineboot -i </dev/null >/dev/null 2>&1
  wineserver -w
fi
mkdir -p "$files"
cp "$here/gateway.js" "$here/dictionary.js" "$files/"
"$compiler" -O2 -municode -static -o "$files/ExitHost$bits.exe" "$here/ExitHost.cpp" \
  -lole32 -loleaut32 -luuid || exit 1

# The server of the prefix, started persistent; no pipe of ours goes to it.
persistent_server() { wineserver -p </dev/null >/dev/null 2>&1; }
stop_server() { wineserver -k </dev/null >/dev/null 2>&1; wineserver -w 2>/dev/null; }

objects=(dictionary)
if [ -n "$module" ]; then
  objects=(gateway)
  persistent_server
  cp "$module" "$files/Tellavo$bits.dll"
  "$loader" 'C:\windows\system32\regsvr32.exe' /s "C:\\exit-measure\\Tellavo$bits.dll" \
    </dev/null >/dev/null 2>&1 || { echo "cannot register $module" >&2; exit 1; }
  # Nothing listens on the https port of the local host: getinfo fails there.
  "$loader" reg add 'HKLM\SOFTWARE\Tellavo' /v GatewayHost /d localhost /f "$view" \
    </dev/null >/dev/null 2>&1
fi

csv="$dir/runs-$bits.csv" log="$dir/failures-$bits.log"
err=$(mktemp)
trap 'rm -f "$err"; stop_server' EXIT

run() { # server host object COMMAND...
  local server=$1 host=$2 object=$3 status
  shift 3
  timeout -s KILL 120 "$@" </dev/null >/dev/null 2>"$err"
  status=$?
  [ $status = 137 ] && status=124
  echo "$label,$bits,$host,$object,$server,$status" >>"$csv"
  if [ $status != 0 ]; then
    { echo "== $label $bits $host $object $server: status $status"; cat "$err"; } >>"$log"
  fi
}

one_round() { # server
  local object
  for object in "${objects[@]}"; do
    [ "$1" = fresh ] && stop_server
    run "$1" cscript "$object" "$loader" "$cscript" //nologo "C:\\exit-measure\\$object.js"
    [ "$1" = fresh ] && stop_server
    run "$1" ExitHost "$object" "$loader" "C:\\exit-measure\\ExitHost$bits.exe" "$object"
    [ "$1" = fresh ] && stop_server
    run "$1" ExitHostKeep "$object" "$loader" "C:\\exit-measure\\ExitHost$bits.exe" "$object" keep
  done
}

for ((i = 1; i <= runs; i += 2)); do
  stop_server
  one_round fresh
  persistent_server
  [ $((i + 1)) -le "$runs" ] && one_round persistent
done
