#!/usr/bin/env bash
# Checks the server's systemd unit with systemd-analyze verify, pointing it
# at the program just built (the installed path does not exist here).
# Arguments: systemd-analyze, the unit, the built program, a work folder, and
# the cluster's drop-in.
set -euo pipefail
analyze=$1
unit=$2
program=$3
work=$4
rm -rf "$work"
mkdir -p "$work"
sed "s|/usr/bin/vantaro-server|$program|" "$unit" >"$work/vantaro-server.service"
# Without a running systemd (a container) verify may not reach the manager;
# it still parses every directive and reports unknown ones.
if ! output=$("$analyze" verify "$work/vantaro-server.service" 2>&1); then
    echo "$output"
    echo "FAIL: systemd-analyze verify"
    exit 1
fi
[ -z "$output" ] || { echo "$output"; echo "FAIL: systemd-analyze reported problems"; exit 1; }
# The cluster's drop-in, read after the unit as systemd reads drop-ins.
if [ -n "${5:-}" ]; then
    cat "$work/vantaro-server.service" "$5" | sed "s|/usr/bin/vantaro-server|$program|" \
        >"$work/vantaro-server-cluster.service"
    output=$("$analyze" verify "$work/vantaro-server-cluster.service" 2>&1) && [ -z "$output" ] ||
        { echo "$output"; echo "FAIL: the unit with the cluster's drop-in does not verify"; exit 1; }
fi
grep -q '^DynamicUser=yes$' "$unit" && grep -q '^StateDirectory=vantaro-server$' "$unit" ||
    { echo "FAIL: the unit lacks DynamicUser or StateDirectory"; exit 1; }
echo "PASS: the unit verifies"
