# Sourced by the benches: best_of N COMMAND... prints the shortest wall time in seconds of N
# runs of the command (its output thrown away).
best_of() {
  local runs=$1 best="" start end
  shift
  for _ in $(seq "$runs"); do
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    best=$(echo "$start $end ${best:-1e9}" | awk '{d=$2-$1; print (d<$3)?d:$3}')
  done
  echo "$best"
}
