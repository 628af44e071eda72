# Sourced by the benchmark scripts, with $build (the Windows build folder) and $work (a
# scratch folder) set.

# One warm Wine server for the whole run, as on a machine where Wine is in use, so each
# process pays only its own start. A server that a program started leaves a few seconds
# after the last program ends, often while the other side runs, and the next run of
# ours then waits for Wine's services to start again, a second or so that is not in its
# processor time. "wineserver -p" makes no running server persistent: it must start the
# server itself. The first run makes the prefix when it is missing; the last one starts
# the services. The caller stops the server at exit (wineserver -k).
start_wine_server() {
  export WINEPREFIX="$build/wineprefix"
  "$build/wine-run" cmd /c exit >/dev/null 2>&1 || true
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  wineserver -p >/dev/null 2>&1
  "$build/wine-run" cmd /c exit >/dev/null 2>&1 || true
}

# Prints "WALL PROCESSOR" seconds of a command, its output discarded: the processor
# time (user and system) of its own process tree, which a busy machine disturbs less
# than the wall time; Wine's server is not in it.
timed() {
  start=$(date +%s.%N)
  /usr/bin/time -f "%U %S" -o "$work/cpu" "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN {printf "%.3f", b - a}'
  awk '{printf " %.3f\n", $1 + $2}' "$work/cpu"
}

# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
