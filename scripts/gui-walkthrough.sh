#!/usr/bin/env bash
# Drives the desktop application on a virtual display as a person would, with
# the mouse and the keyboard (xdotool), and takes a screenshot at each step:
# the sample is opened, a table previewed and paged, the sample saved as
# scripts; a 1,000,000-row table is opened, paged, and its save into a private
# MariaDB server stopped; Help and About are opened; the application is closed
# and started again to see that the panes come back as they were left.
#
#   scripts/gui-walkthrough.sh [OUTDIR]        (default: gui-walkthrough/)
#
# Not part of the test suite: the positions clicked are those of this
# machine's fonts and a 1400x900 screen. Each screenshot is named after its step.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
source scripts/mariadb-lib.sh
out=$(realpath -m "${1:-gui-walkthrough}")
mkdir -p "$out"
rm -f "$out"/*.png

for p in xvfb xdotool imagemagick fonts-droid-fallback; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$p" >/dev/null
done
[[ -x build/bin/vostrel-recover-gui ]] || scripts/build.sh

work=$(mktemp -d /tmp/gui-walk.XXXXXX)
display=:$((70 + RANDOM % 20))
app=""
xvfb=""
cleanup() {
    [[ -n $app ]] && kill "$app" 2>/dev/null || true
    [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null || true
    mdb_cleanup
    rm -rf "$work"
}
trap cleanup EXIT

step=0
shot() {
    step=$((step + 1))
    local name
    name=$(printf '%s/%02d-%s.png' "$out" "$step" "$1")
    import -window root "$name"
    echo "screenshot: $name"
}
# Waits until a message box (titled like the main window) is up, or gone.
caption='^Vostrel MySQL Database Recovery.Full. v22.0$'
boxes() { xdotool search --onlyvisible --name "$caption" 2>/dev/null | wc -l; }
wait_box() {
    local want=$1 timeout=${2:-60} t=0
    while :; do
        local n
        n=$(boxes)
        if [[ $want == up && $n -ge 2 ]] || [[ $want == gone && $n -le 1 ]]; then return 0; fi
        ((t++ < timeout * 10)) || { echo "no message box change ($want) in ${timeout}s" >&2; return 1; }
        sleep 0.1
    done
}
click() { xdotool mousemove "$1" "$2" click 1; sleep "${3:-0.4}"; }
key() { xdotool key "$@"; sleep 0.3; }
type_text() { xdotool type --delay 4 "$1"; sleep 0.2; }
# Replaces the text of the focused line edit.
retype() { xdotool key ctrl+a; xdotool type --delay 4 "$1"; sleep 0.2; }
# A home of its own: settings, and the default log folder, stay in $work.
mkdir -p "$work/home"
start_app() {
    HOME="$work/home" XDG_CONFIG_HOME="$work/config" "$root/build/bin/vostrel-recover-gui" \
        2>>"$work/gui.log" &
    app=$!
}

# Positions on the 1400x900 screen (window at the top left, no window manager).
open_xy=(32 62); stop_xy=(100 62); save_xy=(193 62); help_xy=(295 62); about_xy=(354 62)
recent_xy=(62 62)
caption_xy=(900 121)
tree_row() { echo $((135 + 18 * $1)); }  # y of the n-th visible tree row (0 = root)
tree_box_x=31                           # x of the root's check box

# ---- Data: the shipped sample, and a 1,000,000-row MyISAM table made by a
# private server that then takes the long save.
tar -xJf tests/fixtures/sample-datadir.tar.xz -C "$work"
sample="$work/sample-datadir"
mdb_install "$work/server"
port=$(mdb_free_port)
mdb_start "$work/server" "$work/run/mysqld.sock" "$port"
mdb_sql -e "CREATE DATABASE bigdb; USE bigdb;
  CREATE TABLE events (id INT NOT NULL PRIMARY KEY, name VARCHAR(40), amount DECIMAL(10,2),
                       at DATETIME) ENGINE=MyISAM;
  INSERT INTO events SELECT seq, CONCAT('event ', seq), seq / 100,
                            '2020-01-01' + INTERVAL seq SECOND FROM seq_1_to_1000000;
  FLUSH TABLES;"
mkdir -p "$work/big"
cp -r "$work/server/bigdb" "$work/big/"
mkdir -p "$work/scripts-out"

# ---- The session.
Xvfb "$display" -screen 0 1400x900x24 >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
sleep 1
start_app
sleep 0.8
shot splash
sleep 2.2
shot start

click "${caption_xy[@]}"
key ctrl+o
shot open-dialog
type_text "$sample"
shot open-dialog-filled
key Return
wait_box up 60
shot scan-completed
key Return
wait_box gone

# A table: shop is the 6th row; open it, then its Tables, then customers.
click 120 "$(tree_row 5)"
key Right Down Right
type_text customers
key Return
sleep 0.5
shot preview-customers
xdotool mousemove 200 "$(tree_row 9)"
sleep 1.5
shot tooltip-table-mark

# Paging: shop.ledger holds 5840 rows (tree row 12).
click 160 "$(tree_row 12)" 0.8
shot preview-ledger
next_xy=(1372 714); previous_xy=(1316 714)
click "${next_xy[@]}" 0.8
shot ledger-rows-1001-2000
click "${previous_xy[@]}" 0.8

# types.t_compact: values with line breaks and of 2000 characters (tree row 20).
click 120 "$(tree_row 20)"
key Right Down Right Down Return
sleep 0.8
shot preview-t_compact
# The second row's 2000-character text (column tx, two left of the last):
# cut in its cell, whole in the detail view that Enter (or a double-click) opens.
click 400 192
key End Left Left
sleep 0.3
shot t_compact-long-values
key Return
sleep 0.6
shot detail-2000-characters
key Escape
# Row 6, column mt: "line1", a line break, "line2", a tab, "tab".
key Down Down Down Down Right
xdotool mousemove 10 10
sleep 0.3
shot t_compact-line-break
key Return
sleep 0.6
shot detail-line-break
key Escape
click 540 301   # the window is active again, for its tooltips
xdotool mousemove 545 303
sleep 1.5
shot tooltip-long-value

# shop's view and trigger (tree rows 18 and, once the view shows, 20): their definitions.
click 140 "$(tree_row 18)"
key Right Down Return
sleep 0.5
shot view-definition
click 140 "$(tree_row 20)"
key Right Down Return
sleep 0.5
shot trigger-definition

# Save everything of the sample as scripts.
click "$tree_box_x" "$(tree_row 0)"
shot all-checked
key ctrl+s
sleep 0.5
shot save-dialog-database-mode
click 457 478
shot save-dialog-script-mode
click 890 505 0.8
shot folder-browser
retype "$work/scripts-out"
key Return
sleep 0.5
shot save-dialog-folder-chosen
click 798 534
wait_box up 120
shot script-saved-message
key Return
wait_box gone
shot recovery-report
click "${caption_xy[@]}"   # the window is active again, for its tooltips
xdotool mousemove 160 "$(tree_row 8)"
sleep 1.5
shot tooltip-saved-table

# ---- A 1,000,000-row table without ibdata1: the question about it comes
# over a tree that already shows the database.
click "${caption_xy[@]}"
key ctrl+o
retype "$work/big"
key Return
wait_box up 60
shot ibdata1-question-over-tree
key Escape
sleep 1
wait_box up 60
shot big-scan-completed
key Return
wait_box gone
click 120 "$(tree_row 2)"
key Right Down Right Down Return
sleep 0.8
click "${next_xy[@]}" 0.8
shot events-rows-1001-2000

# Its save into the private server, stopped while it runs.
click "$tree_box_x" "$(tree_row 0)"
key ctrl+s
sleep 0.5
click 734 331
retype 127.0.0.1
click 734 359
retype "$port"
click 868 444
wait_box up 30
shot connection-tested
key Return
wait_box gone
click 798 534
sleep 4
shot long-save-running
click "${stop_xy[@]}"
wait_box up 10
shot stop-question
key Return
sleep 1
wait_box up 120
shot stopped-save-message
key Return
wait_box gone
shot stopped-save-report

# ---- Help and About.
click "${help_xy[@]}" 1
shot help-window
key Escape
click "${caption_xy[@]}"
click "${about_xy[@]}" 0.6
shot about-dialog
key Return

# ---- The recent folders, a wider tree pane, and a restart.
click "${recent_xy[@]}" 0.6
shot recent-folders
key Escape
# The separator between the tree pane and the records, dragged 140 pixels right.
xdotool mousemove 277 480; sleep 0.3
xdotool mousedown 1; sleep 0.3
for x in 290 320 360 400 417; do xdotool mousemove "$x" 480; sleep 0.1; done
xdotool mouseup 1
sleep 0.4
shot tree-pane-widened
key ctrl+q
wait_box up 10
shot close-question
key Return
sleep 0.6
wait_box up 10
shot log-path-message
key Return
sleep 1
kill -0 "$app" 2>/dev/null && { echo "the application did not close" >&2; exit 1; }
start_app
sleep 3.2
shot restarted
click "${recent_xy[@]}" 0.6
shot recent-folders-after-restart
key Escape
