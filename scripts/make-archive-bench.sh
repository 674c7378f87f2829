#!/usr/bin/env bash
# Builds an ARCHIVE table with the benchmark's column list (scripts/make-bench-data.sh)
# and ROWS rows, for timing the ARCHIVE reader.
#
#   scripts/make-archive-bench.sh WORKDIR ROWS     (WORKDIR/datadir: the files at rest)
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"

WORK=${1:?usage: $0 WORKDIR ROWS}
ROWS=${2:?usage: $0 WORKDIR ROWS}
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
RUN=$(mktemp -d /tmp/mdb-archive-bench.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$RUN"
}
trap cleanup EXIT

rm -rf "$WORK/datadir" "$WORK/server"
mdb_install "$WORK/server"
mdb_start "$WORK/server" "$RUN/mariadbd.sock" "$(mdb_free_port)"
sql() { mdb_sql --default-character-set=utf8mb4 "$@"; }
sql -e "INSTALL SONAME 'ha_archive'; CREATE DATABASE bench CHARACTER SET utf8mb4"
sql bench -e "
    CREATE TABLE archive_rows (
      id INT NOT NULL,
      name VARCHAR(40) NOT NULL,
      amount DECIMAL(10,2),
      created DATETIME NOT NULL,
      note VARCHAR(200),
      flag TINYINT NOT NULL
    ) ENGINE=ARCHIVE;
    INSERT INTO archive_rows
    SELECT seq, CONCAT('customer-', seq), (seq % 100000) / 100,
           '2020-01-01 00:00:00' + INTERVAL seq SECOND,
           IF(seq % 7 = 0, NULL, REPEAT(CHAR(97 + seq % 26), seq % 60)), seq % 2
    FROM seq_1_to_$ROWS;"
mdb_stop
mkdir -p "$WORK/datadir"
cp -a "$WORK/server/bench" "$WORK/datadir/"
ls -la "$WORK/datadir/bench"
