#!/usr/bin/env bash
# Builds the benchmark's MyISAM table (scripts/make-bench-data.sh's columns)
# twice: as the server wrote it and compressed with myisampack, for timing the
# packed-table reader against the plain one.
#
#   scripts/make-packed-bench.sh WORKDIR ROWS
#   VOSTREL_PACKED_BENCH=WORKDIR build/bin/engine_tests --gtest_filter='PackedMyisamBench.*'
#
# WORKDIR/plain/   myisam_rows.{frm,MYD,MYI} as written by the server
# WORKDIR/packed/  the same after myisampack and myisamchk -rq
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"

WORK=${1:?usage: $0 WORKDIR ROWS}
ROWS=${2:?usage: $0 WORKDIR ROWS}
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
RUN=$(mktemp -d /tmp/mdb-packbench.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$RUN"
}
trap cleanup EXIT

rm -rf "$WORK/server" "$WORK/plain" "$WORK/packed"
mdb_install "$WORK/server"
mdb_start "$WORK/server" "$RUN/mariadbd.sock" "$(mdb_free_port)"
mdb_sql --default-character-set=utf8mb4 -e "
    CREATE DATABASE bench CHARACTER SET utf8mb4;
    USE bench;
    CREATE TABLE bench.myisam_rows (
      id INT NOT NULL PRIMARY KEY,
      name VARCHAR(40) NOT NULL,
      amount DECIMAL(10,2),
      created DATETIME NOT NULL,
      note VARCHAR(200),
      flag TINYINT NOT NULL
    ) ENGINE=MyISAM;
    INSERT INTO bench.myisam_rows
    SELECT seq, CONCAT('customer-', seq), (seq % 100000) / 100,
           '2020-01-01 00:00:00' + INTERVAL seq SECOND,
           IF(seq % 7 = 0, NULL, REPEAT(CHAR(97 + seq % 26), seq % 60)), seq % 2
    FROM seq_1_to_$ROWS;"
mdb_stop
mkdir -p "$WORK/plain" "$WORK/packed"
cp -p "$WORK/server/bench/myisam_rows".{frm,MYD,MYI} "$WORK/plain/"
cp -p "$WORK/server/bench/myisam_rows".{frm,MYD,MYI} "$WORK/packed/"
rm -rf "$WORK/server"
myisampack --no-defaults --silent "$WORK/packed/myisam_rows.MYI"
myisamchk --no-defaults --silent -rq "$WORK/packed/myisam_rows.MYI"
ls -l "$WORK/plain" "$WORK/packed"
