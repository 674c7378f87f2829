#!/usr/bin/env bash
# Builds the full-definition fixture: a private MariaDB 10.11 holding every
# part of a table, view and trigger definition that a restore must keep
# (scripts/fulldef-content.sql), and what that server reported about them.
#
#   scripts/make-fulldef-fixtures.sh [--commit]
#
# Writes tests/fixtures/fulldef-datadir.tar.xz with --commit, else only
# build/fulldef-fixture/. The tarball unpacks to fulldef-datadir/:
#   ibdata1, fulldef/, fulldef2/   the files the recovery tool reads
#   expected/show-create/*.sql     SHOW CREATE TABLE/VIEW/TRIGGER of each object
#   expected/<view>.tsv            information_schema rows, `mariadb --batch`
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"

OUT="$ROOT/build/fulldef-fixture"
WORK="$OUT/datadir-work"
PACK="$OUT/fulldef-datadir"
rm -rf "$OUT"
mkdir -p "$PACK/expected/show-create"

RUN=$(mktemp -d /tmp/mdb-fulldef.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$RUN"
}
trap cleanup EXIT

mdb_install "$WORK"
PORT=$(mdb_free_port)
mdb_start "$WORK" "$RUN/mariadbd.sock" "$PORT"
SQL=(mdb_sql --default-character-set=utf8mb4)
"${SQL[@]}" --batch <"$HERE/fulldef-content.sql"
"${SQL[@]}" -e "FLUSH TABLES"

query() { "${SQL[@]}" --batch --skip-column-names -e "$1"; }
E="$PACK/expected"
S="'fulldef','fulldef2'"
query "SELECT TABLE_SCHEMA, TABLE_NAME, ORDINAL_POSITION, COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE,
         COLUMN_DEFAULT, EXTRA, COLUMN_COMMENT, CHARACTER_SET_NAME, COLLATION_NAME,
         GENERATION_EXPRESSION, IS_GENERATED
       FROM information_schema.COLUMNS WHERE TABLE_SCHEMA IN ($S)
       ORDER BY 1, 2, 3" >"$E/columns.tsv"
query "SELECT TABLE_SCHEMA, TABLE_NAME, INDEX_NAME, SEQ_IN_INDEX, COLUMN_NAME, NON_UNIQUE,
         SUB_PART, INDEX_TYPE, COLLATION, INDEX_COMMENT, IGNORED
       FROM information_schema.STATISTICS WHERE TABLE_SCHEMA IN ($S)
       ORDER BY 1, 2, 3, 4" >"$E/statistics.tsv"
query "SELECT CONSTRAINT_SCHEMA, TABLE_NAME, CONSTRAINT_NAME, UNIQUE_CONSTRAINT_SCHEMA,
         REFERENCED_TABLE_NAME, UPDATE_RULE, DELETE_RULE
       FROM information_schema.REFERENTIAL_CONSTRAINTS WHERE CONSTRAINT_SCHEMA IN ($S)
       ORDER BY 1, 2, 3" >"$E/referential_constraints.tsv"
query "SELECT TABLE_SCHEMA, TABLE_NAME, CONSTRAINT_NAME, ORDINAL_POSITION, COLUMN_NAME,
         REFERENCED_TABLE_SCHEMA, REFERENCED_TABLE_NAME, REFERENCED_COLUMN_NAME
       FROM information_schema.KEY_COLUMN_USAGE
       WHERE TABLE_SCHEMA IN ($S) AND REFERENCED_TABLE_NAME IS NOT NULL
       ORDER BY 1, 2, 3, 4" >"$E/foreign_key_columns.tsv"
query "SELECT TABLE_SCHEMA, TABLE_NAME, TABLE_TYPE, ENGINE, ROW_FORMAT, AUTO_INCREMENT,
         TABLE_COLLATION, CREATE_OPTIONS, TABLE_COMMENT
       FROM information_schema.TABLES WHERE TABLE_SCHEMA IN ($S)
       ORDER BY 1, 2" >"$E/tables.tsv"
query "SELECT CONSTRAINT_SCHEMA, TABLE_NAME, CONSTRAINT_NAME, LEVEL, CHECK_CLAUSE
       FROM information_schema.CHECK_CONSTRAINTS WHERE CONSTRAINT_SCHEMA IN ($S)
       ORDER BY 1, 2, 3" >"$E/check_constraints.tsv"
query "SELECT TABLE_SCHEMA, TABLE_NAME, CHECK_OPTION, IS_UPDATABLE, DEFINER, SECURITY_TYPE,
         ALGORITHM
       FROM information_schema.VIEWS WHERE TABLE_SCHEMA IN ($S)
       ORDER BY 1, 2" >"$E/views.tsv"
query "SELECT TRIGGER_SCHEMA, TRIGGER_NAME, EVENT_MANIPULATION, EVENT_OBJECT_TABLE,
         ACTION_ORDER, ACTION_TIMING, SQL_MODE, DEFINER
       FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA IN ($S)
       ORDER BY 1, 2" >"$E/triggers.tsv"

for db in fulldef fulldef2; do
    query "SELECT TABLE_NAME, TABLE_TYPE FROM information_schema.TABLES
           WHERE TABLE_SCHEMA='$db' ORDER BY 1" |
    while IFS=$'\t' read -r name type; do
        if [[ $type == VIEW ]]; then
            query "SHOW CREATE VIEW \`$db\`.\`$name\`" | cut -f2 >"$E/show-create/$db.$name.sql"
        else
            # --raw: the statement as the server wrote it, no batch escaping.
            "${SQL[@]}" --batch --raw --skip-column-names -e "SHOW CREATE TABLE \`$db\`.\`$name\`" |
                cut -f2- >"$E/show-create/$db.$name.sql"
        fi
    done
done
query "SELECT TRIGGER_NAME FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA='fulldef'" |
while read -r trg; do
    query "SHOW CREATE TRIGGER fulldef.\`$trg\`" >"$E/show-create/fulldef.trigger.$trg.tsv"
done

mdb_stop
cp "$WORK/ibdata1" "$PACK/"
cp -r "$WORK/fulldef" "$WORK/fulldef2" "$PACK/"
echo "== wrote $PACK"

if [[ ${1:-} == --commit ]]; then
    tar -C "$OUT" --sort=name --owner=0 --group=0 --numeric-owner --mtime=@0 \
        -cf - fulldef-datadir | xz -9 -T1 >"$ROOT/tests/fixtures/fulldef-datadir.tar.xz"
    echo "wrote tests/fixtures/fulldef-datadir.tar.xz" \
        "($(stat -c %s "$ROOT/tests/fixtures/fulldef-datadir.tar.xz") bytes)"
fi
