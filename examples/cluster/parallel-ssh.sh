#!/usr/bin/env bash
# One evaluation spread over several machines with GNU parallel over ssh.
#
# Each host needs pelloria-arena and the controllers at the same paths (a
# shared home, or copy them first). Shards are contiguous, near-equal parts
# of the seeds; each host writes its shard's JSON, parallel brings it back,
# and merge joins them into exactly the output of one run on one machine.
#
#   HOSTS=alice,bob SHARDS=8 GAMES=100000 examples/cluster/parallel-ssh.sh ~/libmine.so ~/libtheirs.so
set -euo pipefail
hosts="${HOSTS:?name the ssh hosts, e.g. HOSTS=alice,bob}"
shards="${SHARDS:-8}"
games="${GAMES:-100000}"
arena="${ARENA:-pelloria-arena}"
controllers=()
for library in "$@"; do
  controllers+=(--controller "$library")
done
[ ${#controllers[@]} -gt 0 ] || { echo "usage: $0 CONTROLLER.so..." >&2; exit 2; }

# --jobs 1 here: each shard uses every core of its host through the arena's
# own --jobs, which defaults to the number of cores.
parallel --will-cite --sshlogin "$hosts" --jobs 1 --return 'shard{}.json' --cleanup \
  "$arena" --games "$games" "${controllers[@]}" --shard '{}/'"$shards" --json 'shard{}.json' \
  ::: $(seq "$shards") || true # a shard with a failed game exits 1; merge still counts it

"$arena" merge shard*.json --csv games.csv --json result.json
