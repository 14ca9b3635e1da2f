#!/usr/bin/env bash
# Runs a command against a throwaway PostgreSQL: a cluster made in a temporary
# folder with Debian's postgresql-15, run by an unprivileged user (PostgreSQL
# refuses root), listening on 127.0.0.1 on a free port, with the URL in
# VANTARO_TEST_DATABASE_URL. The cluster is stopped and removed afterwards,
# whatever the command did.
# Usage: with_postgres.sh COMMAND [ARGUMENTS...]
set -euo pipefail
bin=/usr/lib/postgresql/15/bin
[ -x "$bin/initdb" ] || { echo "with_postgres.sh: postgresql-15 is not installed"; exit 1; }

# The command keeps working from here; the cluster's programs run in its folder.
[ -e "$1" ] && set -- "$(realpath "$1")" "${@:2}"
work=$(mktemp -d /tmp/vantaro-pg.XXXXXX)
run_as=()
if [ "$(id -u)" -eq 0 ]; then
    chown nobody:nogroup "$work"
    run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
fi
cleanup() {
    "${run_as[@]}" "$bin/pg_ctl" -D "$work/data" -m immediate -w stop >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
chmod 0700 "$work"

# A port nothing listens on now, below the range the kernel gives outgoing
# connections, so that none takes it while a test has stopped the database to
# start it again (as tests/server/RedisTestServer.h picks Redis's); should
# another program take it before the cluster starts, the start fails and so
# does the run, loudly.
read -r first_ephemeral _ </proc/sys/net/ipv4/ip_local_port_range || first_ephemeral=32768
low=$((first_ephemeral > 13024 ? first_ephemeral - 12000 : 1024))
port=
for _ in $(seq 1 50); do
    candidate=$((low + RANDOM % (first_ephemeral - low)))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then
        port=$candidate
        break
    fi
done
[ -n "$port" ] || { echo "with_postgres.sh: no free port found"; exit 1; }

cd "$work"
"${run_as[@]}" "$bin/initdb" -D "$work/data" -U vantaro -A trust -E UTF8 --no-sync >"$work/initdb.log" 2>&1 ||
    { cat "$work/initdb.log"; exit 1; }
# How to stop the database and start it again, for the tests of its outages:
# VANTARO_TEST_DATABASE_STOP and VANTARO_TEST_DATABASE_START.
cat >"$work/start-database" <<EOF
#!/usr/bin/env bash
exec ${run_as[*]} "$bin/pg_ctl" -D "$work/data" -l "$work/server.log" -w -t 60 \\
    -o "-c listen_addresses=127.0.0.1 -p $port -k $work -c fsync=off" start >/dev/null
EOF
cat >"$work/stop-database" <<EOF
#!/usr/bin/env bash
exec ${run_as[*]} "$bin/pg_ctl" -D "$work/data" -m fast -w -t 60 stop >/dev/null
EOF
chmod 0755 "$work/start-database" "$work/stop-database"
"$work/start-database" || { cat "$work/server.log"; exit 1; }
createdb=/usr/lib/postgresql/15/bin/createdb
"$createdb" -h 127.0.0.1 -p "$port" -U vantaro vantaro_test

export VANTARO_TEST_DATABASE_URL="postgresql://vantaro@127.0.0.1:$port/vantaro_test"
export VANTARO_TEST_DATABASE_STOP="$work/stop-database"
export VANTARO_TEST_DATABASE_START="$work/start-database"
"$@"
