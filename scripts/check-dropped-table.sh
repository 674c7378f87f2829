#!/usr/bin/env bash
# A table dropped inside ibdata1, recovered from the pages it left there:
# a private MariaDB makes `lost.orders` (file_per_table off, off-page TEXT
# values), keeps its rows and CREATE TABLE, drops it and shuts down slowly;
# `scan-pages` then reads ibdata1 with the statement, the script is loaded
# into the server again, and its rows must be the ones dropped.
#
#   scripts/check-dropped-table.sh CLI [WORKDIR]
set -euo pipefail
if ! command -v mariadbd >/dev/null || ! command -v mariadb-install-db >/dev/null; then
    echo "no MariaDB server installed: skipped" >&2
    exit 77
fi
cli=$(realpath "$1")
work=${2:-$(mktemp -d /tmp/dropped-table.XXXXXX)}
mkdir -p "$work"
work=$(cd "$work" && pwd)
cd "$(dirname "${BASH_SOURCE[0]}")/.."
# shellcheck source=scripts/mariadb-lib.sh
source scripts/mariadb-lib.sh
trap mdb_cleanup EXIT

rm -rf "$work/data" "$work/run" "$work/out"
mdb_install "$work/data"
port=$(mdb_free_port)
mdb_start "$work/data" "$work/run/mariadbd.sock" "$port"
mdb_sql <<'SQL'
SET GLOBAL innodb_file_per_table=OFF;
CREATE DATABASE lost CHARACTER SET utf8mb4;
USE lost;
CREATE TABLE orders (
  id INT NOT NULL PRIMARY KEY,
  customer VARCHAR(40) NOT NULL,
  amount DECIMAL(10,2),
  placed DATETIME NOT NULL,
  note TEXT
) ENGINE=InnoDB;
INSERT INTO orders
  SELECT seq, CONCAT('customer-', seq % 97), seq * 1.25, '2020-01-01' + INTERVAL seq MINUTE,
         IF(seq % 50 = 0, REPEAT(CONCAT('long note ', seq, ' '), 2000),
            IF(seq % 7 = 0, NULL, CONCAT('note ', seq)))
  FROM seq_1_to_3000;
DELETE FROM orders WHERE id % 11 = 0;
UPDATE orders SET customer = CONCAT(customer, ' (moved)') WHERE id % 13 = 0;
SQL
mdb_sql -N -e "SHOW CREATE TABLE lost.orders" | cut -f2 | sed 's/\\n/\n/g' >"$work/defs.sql"
echo ";" >>"$work/defs.sql"
index_id=$(mdb_sql -N -e "SELECT i.INDEX_ID FROM information_schema.INNODB_SYS_INDEXES i
  JOIN information_schema.INNODB_SYS_TABLES t USING (TABLE_ID)
  WHERE t.NAME = 'lost/orders' AND i.NAME = 'PRIMARY'")
mdb_sql -N --batch -e "SELECT id, customer, amount, placed, SHA2(note, 256) FROM lost.orders
  ORDER BY id" >"$work/expected.tsv"
# The table had lived a while: its pages reached the file. (A page still
# dirty at the DROP is never written at all.)
mdb_sql -e "SET GLOBAL innodb_max_dirty_pages_pct=0, innodb_max_dirty_pages_pct_lwm=0"
for _ in $(seq 1 150); do
    dirty=$(mdb_sql -N -e "SHOW GLOBAL STATUS LIKE 'Innodb_buffer_pool_pages_dirty'" | cut -f2)
    [[ $dirty == 0 ]] && break
    sleep 0.2
done
mdb_sql -e "DROP TABLE lost.orders"
mdb_stop

"$cli" scan-pages "$work/data/ibdata1" --log-dir "$work" --index-id "$index_id" \
    --definitions "$work/defs.sql" lost.orders --script "$work/out" | tee "$work/scan-pages.txt"

mdb_start "$work/data" "$work/run/mariadbd.sock" "$port"
mdb_sql <"$work/out/Scriptdata/lost.sql" >/dev/null
mdb_sql -N --batch -e "SELECT id, customer, amount, placed, SHA2(note, 256) FROM rep_lost.orders
  ORDER BY id" >"$work/recovered.tsv"
mdb_stop
if cmp -s "$work/expected.tsv" "$work/recovered.tsv"; then
    echo "dropped table recovered: $(wc -l <"$work/expected.tsv") rows as they were"
else
    diff "$work/expected.tsv" "$work/recovered.tsv" | head -20
    echo "dropped table NOT recovered as it was (see $work)" >&2
    exit 1
fi
