#!/usr/bin/env bash
# summary.sh CSV...: per label, bitness, host, object and server kind, the
# runs, those that ended by a signal (status >= 128), those that hung
# (124) and the other non-zero exits.
cat "$@" | awk -F, '
  { key = $1 " " $2 "-bit " $3 " " $4 " " $5; runs[key]++
    if ($6 == 124) hung[key]++
    else if ($6 >= 128) crashed[key]++
    else if ($6 != 0) failed[key]++ }
  END { printf "%-52s %5s %8s %5s %7s\n", "label bits host object server", "runs", "crashed", "hung", "nonzero"
        for (key in runs) printf "%-52s %5d %8d %5d %7d\n", key, runs[key], crashed[key], hung[key], failed[key] }' | sort
