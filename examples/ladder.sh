#!/bin/sh
# A ladder from one command: the reference brainlet, the two examples and a
# controller of the tests that never accelerates, ranked by one match, with
# the replays of the games each seat lost.
#
#   examples/ladder.sh [BIN [OUT]]    BIN: the build's bin/ (default build/bin)
#   GAMES=N examples/ladder.sh        seeds to play (default 200)
#   TIME_LIMIT=MS examples/ladder.sh  a call's processor time (default 50)
set -eu
bin=${1:-build/bin}
out=${2:-ladder}
games=${GAMES:-200}
tests=${TESTS_BIN:-$bin/../tests}
mkdir -p "$out"
status=0
"$bin/pelloria-arena" match \
    --controller "$bin/libbrainlet.so" \
    --controller "$bin/libgreedy_brainlet.so" \
    --controller "$bin/libnearest_meal.so" \
    --controller "$tests/libcontroller_stores0.so" \
    --games "$games" --time-limit "${TIME_LIMIT:-50}" --csv "$out/ladder.csv" --json "$out/ladder.json" \
    --record "$out/replays" --record-games lost --log-dir "$out/logs" || status=$?
# 1: a controller failed some games (the table lists them); anything else
# is an error the arena has explained.
[ "$status" -le 1 ] || exit "$status"
echo
echo "Each seat's first lost game (the 'replay' column of $out/ladder.csv has them all):"
awk -F, 'NR > 1 && $8 == 0 && $15 != "" && !seen[$1]++ {
    gsub(/"/, "", $1)
    printf "  %s at agent [%d], seed %s: pelloria --replay %s/replays/%s\n", $1, $4 + 1, $2, out, $15
}' out="$out" "$out/ladder.csv"
