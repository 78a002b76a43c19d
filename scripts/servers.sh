#!/usr/bin/env bash
# The database servers of the test suite: PostgreSQL 15 and MariaDB on
# 127.0.0.1, in a scratch directory, run by unprivileged users, with an
# ODBC configuration that names them (DSNs korvo_pg and korvo_maria).
#
#   scripts/servers.sh start   installs what is missing, initialises, starts,
#                              writes $KORVO_SERVERS_DIR/env.sh
#   scripts/servers.sh stop    stops both servers and removes the scratch dir
#
# A caller sources env.sh after start: it exports ODBCSYSINI/ODBCINI (the
# driver manager's configuration) and KORVO_TEST_PG_DSN /
# KORVO_TEST_MARIA_DSN / KORVO_TEST_PG_NATIVE (the native provider), the
# connect strings the server tests use.
set -euo pipefail
cd "$(dirname "$0")/.."

dir=${KORVO_SERVERS_DIR:-/tmp/korvo-servers}
pg_port=${KORVO_PG_PORT:-54329}
maria_port=${KORVO_MARIA_PORT:-33069}
pg_bin=/usr/lib/postgresql/15/bin
odbc_lib=/usr/lib/x86_64-linux-gnu/odbc
# The role with a password, for the tests of a wrong password (every
# other role is trusted on loopback).
secret_user=korvo_secret
secret_password=korvo-pw

as_user() {  # as_user USER COMMAND...: the servers refuse to run as root
  local user=$1
  shift
  if [ "$(id -un)" = "$user" ] || [ "$(id -u)" -ne 0 ]; then
    "$@"
  else
    runuser -u "$user" -- "$@"
  fi
}

install_missing() {
  bash scripts/setup.sh postgresql odbc-postgresql mariadb-server odbc-mariadb unixodbc libpq-dev
}

start_postgres() {
  local data=$dir/pg/data
  mkdir -p "$dir/pg"
  chown -R postgres "$dir/pg" 2>/dev/null || true
  as_user postgres "$pg_bin/initdb" -D "$data" -A trust -U postgres -E UTF8 --locale=C.UTF-8 >"$dir/pg/initdb.log"
  # First match wins: the password role must authenticate; the rest is trusted.
  cat >"$data/pg_hba.conf" <<EOF
host  all  $secret_user  127.0.0.1/32  scram-sha-256
host  all  all           127.0.0.1/32  trust
local all  all                         trust
EOF
  as_user postgres "$pg_bin/pg_ctl" -D "$data" -l "$dir/pg/server.log" -w -t 60 start \
    -o "-p $pg_port -k $dir/pg -c listen_addresses=127.0.0.1 -c fsync=off" >/dev/null
  as_user postgres psql -h 127.0.0.1 -p "$pg_port" -U postgres -q -v ON_ERROR_STOP=1 postgres <<EOF
CREATE DATABASE korvo;
CREATE ROLE $secret_user LOGIN PASSWORD '$secret_password';
EOF
}

start_mariadb() {
  local data=$dir/maria/data
  mkdir -p "$data"
  chown -R mysql "$dir/maria" 2>/dev/null || true
  as_user mysql mariadb-install-db --no-defaults --datadir="$data" --auth-root-authentication-method=normal \
    --skip-test-db >"$dir/maria/install.log" 2>&1
  # Detached from the caller's output, which may be a pipe someone reads to its end.
  as_user mysql setsid mariadbd --no-defaults --datadir="$data" --socket="$dir/maria/mysqld.sock" \
    --pid-file="$dir/maria/mysqld.pid" --port="$maria_port" --bind-address=127.0.0.1 \
    --skip-name-resolve --innodb-flush-log-at-trx-commit=0 --log-error="$dir/maria/server.log" </dev/null >/dev/null 2>&1 &
  local i
  for i in $(seq 1 120); do
    if mariadb-admin --no-defaults -S "$dir/maria/mysqld.sock" -u root ping >/dev/null 2>&1; then break; fi
    sleep 0.5
  done
  mariadb --no-defaults -S "$dir/maria/mysqld.sock" -u root <<EOF
CREATE DATABASE korvo;
CREATE USER 'korvo'@'127.0.0.1' IDENTIFIED BY 'korvo';
GRANT ALL ON *.* TO 'korvo'@'127.0.0.1';
EOF
}

write_odbc_ini() {
  mkdir -p "$dir/odbc"
  cat >"$dir/odbc/odbcinst.ini" <<EOF
[PostgreSQL Unicode]
Description=psqlODBC
Driver=$odbc_lib/psqlodbcw.so

[MariaDB Unicode]
Description=MariaDB Connector/ODBC
Driver=$odbc_lib/libmaodbc.so
EOF
  # UseDeclareFetch: psqlODBC streams a result through a cursor instead
  # of holding all of it in memory.
  cat >"$dir/odbc/odbc.ini" <<EOF
[korvo_pg]
Driver=PostgreSQL Unicode
Servername=127.0.0.1
Port=$pg_port
Database=korvo
Username=postgres
UseDeclareFetch=1
BoolsAsChar=0
Fetch=1000

[korvo_maria]
Driver=MariaDB Unicode
Server=127.0.0.1
Port=$maria_port
Database=korvo
User=korvo
Password=korvo
EOF
  cat >"$dir/env.sh" <<EOF
export ODBCSYSINI=$dir/odbc
export ODBCINI=$dir/odbc/odbc.ini
export KORVO_TEST_PG_DSN='DSN=korvo_pg'
export KORVO_TEST_MARIA_DSN='DSN=korvo_maria'
export KORVO_TEST_PG_NATIVE='Provider=PostgreSQL;Host=127.0.0.1;Port=$pg_port;Database=korvo;User ID=postgres'
export KORVO_TEST_PG_SECRET_USER=$secret_user
export KORVO_TEST_PG_SECRET_PASSWORD=$secret_password
export KORVO_TEST_PG_DATA=$dir/pg/data
export KORVO_TEST_PG_PORT=$pg_port
EOF
}

stop() {
  if [ -f "$dir/pg/data/postmaster.pid" ]; then
    as_user postgres "$pg_bin/pg_ctl" -D "$dir/pg/data" -m fast -w stop >/dev/null || true
  fi
  if [ -f "$dir/maria/mysqld.pid" ]; then
    local pid
    pid=$(cat "$dir/maria/mysqld.pid")
    mariadb-admin --no-defaults -S "$dir/maria/mysqld.sock" -u root shutdown >/dev/null 2>&1 ||
      kill "$pid" 2>/dev/null || true
    while kill -0 "$pid" 2>/dev/null; do sleep 0.2; done
  fi
  rm -rf "$dir"
}

case "${1:-}" in
  start)
    start=$SECONDS
    install_missing
    stop
    mkdir -p "$dir"
    chmod 755 "$dir"
    start_postgres
    start_mariadb
    write_odbc_ini
    echo "== servers: PostgreSQL on 127.0.0.1:$pg_port, MariaDB on 127.0.0.1:$maria_port" \
      "($((SECONDS - start)) s); source $dir/env.sh"
    ;;
  stop)
    stop
    echo "== servers: stopped"
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
