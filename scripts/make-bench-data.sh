#!/usr/bin/env bash
# Builds a data directory with large tables for the benchmark.
#
#   scripts/make-bench-data.sh WORKDIR ROWS
#
# WORKDIR/server   the server's data directory (after a slow shutdown); the
#                  benchmark starts the server on it again to time mariadb-dump
#                  (scripts/bench-server.sh)
# WORKDIR/datadir  a copy of it at rest, which the tool reads
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"

WORK=${1:?usage: $0 WORKDIR ROWS}
ROWS=${2:?usage: $0 WORKDIR ROWS}
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
RUN=$(mktemp -d /tmp/mdb-bench.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$RUN"
}
trap cleanup EXIT

rm -rf "$WORK/datadir" "$WORK/server"
mdb_install "$WORK/server"
mdb_start "$WORK/server" "$RUN/mariadbd.sock" "$(mdb_free_port)"
sql() { mdb_sql --default-character-set=utf8mb4 "$@"; }

sql -e "CREATE DATABASE bench CHARACTER SET utf8mb4"
# The same rows in MyISAM, and in InnoDB's COMPACT (the server default
# here), REDUNDANT and COMPRESSED row formats.
for table in myisam_rows innodb_rows innodb_redundant innodb_compressed; do
    case $table in
        myisam_rows) options="ENGINE=MyISAM" ;;
        innodb_rows) options="ENGINE=InnoDB" ;;
        innodb_redundant) options="ENGINE=InnoDB ROW_FORMAT=REDUNDANT" ;;
        innodb_compressed) options="ENGINE=InnoDB ROW_FORMAT=COMPRESSED KEY_BLOCK_SIZE=8" ;;
    esac
    sql bench -e "
        CREATE TABLE $table (
          id INT NOT NULL PRIMARY KEY,
          name VARCHAR(40) NOT NULL,
          amount DECIMAL(10,2),
          created DATETIME NOT NULL,
          note VARCHAR(200),
          flag TINYINT NOT NULL
        ) $options;
        INSERT INTO $table
        SELECT seq, CONCAT('customer-', seq), (seq % 100000) / 100,
               '2020-01-01 00:00:00' + INTERVAL seq SECOND,
               IF(seq % 7 = 0, NULL, REPEAT(CHAR(97 + seq % 26), seq % 60)), seq % 2
        FROM seq_1_to_$ROWS;"
done

mdb_stop
cp -a "$WORK/server" "$WORK/datadir"
