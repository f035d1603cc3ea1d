# Shared by the benchmarks: source it, then call measure CMD ARGS...
# Prints "seconds peak_kib" of the command, best of 3 runs (GNU time).
measure() {
  local best_t="" best_m="" t m
  for _ in 1 2 3; do
    /usr/bin/time -f '%e %M' -o t.txt "$@" >/dev/null
    read -r t m < t.txt
    if [ -z "$best_t" ] || awk "BEGIN{exit !($t < $best_t)}"; then best_t=$t; best_m=$m; fi
  done
  echo "$best_t $best_m"
}
