#!/usr/bin/env bash
# Builds a data directory with large tables for the benchmark and times
# mariadb-dump on each while the server is live.
#
#   scripts/make-bench-data.sh WORKDIR ROWS
#
# WORKDIR/datadir        the server's data directory (after a slow shutdown)
# WORKDIR/dump-times.tsv table <TAB> seconds <TAB> bytes of dump output
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

rm -rf "$WORK/datadir"
mdb_install "$WORK/datadir"
mdb_start "$WORK/datadir" "$RUN/mariadbd.sock" "$(mdb_free_port)"
sql() { mdb_sql --default-character-set=utf8mb4 "$@"; }

sql -e "CREATE DATABASE bench CHARACTER SET utf8mb4"
for engine in MyISAM InnoDB; do
    table="$(tr '[:upper:]' '[:lower:]' <<<"$engine")_rows"
    sql bench -e "
        CREATE TABLE $table (
          id INT NOT NULL PRIMARY KEY,
          name VARCHAR(40) NOT NULL,
          amount DECIMAL(10,2),
          created DATETIME NOT NULL,
          note VARCHAR(200),
          flag TINYINT NOT NULL
        ) ENGINE=$engine;
        INSERT INTO $table
        SELECT seq, CONCAT('customer-', seq), (seq % 100000) / 100,
               '2020-01-01 00:00:00' + INTERVAL seq SECOND,
               IF(seq % 7 = 0, NULL, REPEAT(CHAR(97 + seq % 26), seq % 60)), seq % 2
        FROM seq_1_to_$ROWS;"
done

: >"$WORK/dump-times.tsv"
# Each table is dumped five times; the median run is recorded (the first
# also warms the server's caches, as the tool's own runs are on warm files).
for table in myisam_rows innodb_rows; do
    times=()
    for run in 1 2 3 4 5; do
        start=$(date +%s.%N)
        mariadb-dump --no-defaults -uroot --socket="$MDB_SOCKET" --single-transaction bench "$table" \
            >"$RUN/dump.sql"
        end=$(date +%s.%N)
        times+=("$(echo "$end - $start" | bc -l)")
    done
    median=$(printf '%s\n' "${times[@]}" | sort -g | sed -n 3p)
    echo "mariadb-dump $table runs: ${times[*]}" >&2
    printf '%s\t%s\t%s\n' "$table" "$median" "$(stat -c %s "$RUN/dump.sql")" >>"$WORK/dump-times.tsv"
done
mdb_stop
