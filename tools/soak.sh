#!/usr/bin/env bash
# Soak of unattended runs under Wine on the sample media, in a prefix of its
# own. CYCLES cycles of a quiet complete setup and a quiet complete deletion:
# every exit code must be 0, and from the second cycle on the machine state
# (spooler, service, files, INF folder) after each step must be the same as
# after that step of the second cycle. Then ROUNDS rounds of two quiet setups
# started together: each must end with one 0, one 1618 and the state of a
# quiet complete setup. Then CUTS=C rounds of a quiet setup or a quiet purge
# (in turn) that the Wine session ends at a random moment, as a power cut
# would: the follow-up quiet setup must end with 0 and the state of an
# uninterrupted setup, the follow-up quiet purge with 0 or 3010 and the clean
# machine. A measurement like the benchmark, not a test: it prints its
# figures, and its last line says how many runs failed (its exit code is 1
# when any did).   CYCLES=N (100)  ROUNDS=K (20)  CUTS=C (20)  VERSION=winxp  BUILD_DIR=build
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cycles=${CYCLES:-100}
rounds=${ROUNDS:-20}
cuts=${CUTS:-20}
version=${VERSION:-winxp}
work=$PWD/$build/soak

source tools/wine-scripts.sh
[[ $cycles =~ ^[2-9]$|^[1-9][0-9]+$ ]] || die "CYCLES must be a number of at least 2, not '$cycles'"
[[ $rounds =~ ^[0-9]+$ ]] || die "ROUNDS must be a number, not '$rounds'"
[[ $cuts =~ ^[0-9]+$ ]] || die "CUTS must be a number, not '$cuts'"

failed=0
problems=0
# Reports one problem of the run being checked; a run counts once however many it has.
problem() { echo "FAILED $*"; problems=$((problems + 1)); }
# Counts the run checked since the last call as failed when it had a problem.
tally() { [ "$problems" = 0 ] || failed=$((failed + 1)); problems=0; }

# Runs Setup.exe quietly with TAIL under the robot (twice at once with
# --twice); prints "ms code [code2]" from its transcript runs/NAME.txt.
run() {
  local name=$1 tail=$2 out=$work/runs/$1 attempt; shift 2
  for attempt in 1 2; do
    "$wine" "$tools/robot.exe" "$@" --cwd "$(winpath "$work/media")" --version "$version" --tail "$tail" \
      --answers "$(winpath /dev/null)" --out "$(winpath "$out.txt")" -- "$(winpath "$work/media/Setup.exe")" \
      >/dev/null || true
    # A wineserver that is just shutting down can refuse the start altogether.
    grep -q ' STARTED$' "$out.txt" 2>/dev/null && break
  done
  grep -qE ' (WINDOW|TIMEOUT|START-FAILED)' "$out.txt" && echo "- window, timeout or failed start" && return
  awk '$2 == "EXIT" { ms = substr($1, 2); code = $3 } $2 == "EXIT2" { second = " " $3 }
       END { print ms, code second }' "$out.txt"
}

# What a run leaves: the spooler's model records and ports, the service and
# its device, and every file of the printer-driver folder (with its "3"
# sub-folder), the system folder's files of the model, the kernel driver and
# the INF folder, by name, size and content. Time stamps are left out.
snapshot() {
  "$wine" "$tools/probe.exe" printers drivers ports service hwbridge device hwbridge | tr -d '\r' | sort
  (cd "$driverdir" && find . -type f -printf '%p %s\n' | sort)
  (cd "$sysdir" && find . -maxdepth 1 -type f \( -iname '*tarv*' -o -iname 'hwport*' \) -printf '%p %s\n' | sort)
  (cd "$windir/inf" && find . -maxdepth 1 -type f -printf '%p %s\n' | sort)
  find "$driverdir" "$sysdir" "$windir/system32/drivers" "$windir/inf" -maxdepth 2 -type f \
    \( -iname '*tarv*' -o -iname 'hwport*' -o -iname 'hwbridge*' -o -iname 'oem*' \) -exec md5sum {} + \
    | sed "s|$prefix/||" | sort
  # An undo journal or a renamed-aside file left behind is no converged state.
  find "$sysdir/LogFiles/TarvSetup" "$driverdir" "$sysdir" -maxdepth 2 \( -iname '*.jnl' -o -iname 'trv*.tmp' \) \
    -printf 'left %f\n' 2>/dev/null | sort || true
}

# Compares the state after STEP of CYCLE with the reference of that step.
check_state() {
  local step=$1 cycle=$2
  snapshot > "$work/state/$step-$cycle"
  if [ "$cycle" = 2 ]; then cp "$work/state/$step-2" "$work/state/$step"; return; fi
  [ "$cycle" -gt 2 ] || return 0
  cmp -s "$work/state/$step" "$work/state/$step-$cycle" \
    || problem "state after $step of cycle $cycle differs from cycle 2: diff $work/state/$step $work/state/$step-$cycle"
}

build_programs
setup_wine soak
mkdir -p "$work/state"
clean_install_state
clean_state=$(snapshot)
echo "== Soak of quiet runs: $cycles cycles, $rounds rounds, $cuts cuts, $arch build, Windows version $version, prefix ${prefix#$PWD/}"
echo "machine: $(nproc) cores, $("$wine" --version), $(date -u '+%Y-%m-%d %H:%M UTC')," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg)"
log=$(winpath "$work/runs/soak.log")
start=$SECONDS
: > "$work/times"
for ((i = 1; i <= cycles; i++)); do
  for step in setup deletion; do
    tail="/QUIET /PORT=LPT1: /LOG=$log"
    [ $step = deletion ] && tail="/QUIET /UNINSTALL /LOG=$log"
    read -r ms code _ < <(run "$step-$i" "$tail")
    echo "$step $ms" >> "$work/times"
    [ "$code" = 0 ] || problem "$step of cycle $i ended with ${code:-no exit code} ($ms); transcript $work/runs/$step-$i.txt"
    check_state "$step" "$i"
    tally
  done
  (( i % 10 )) || echo "cycle $i of $cycles done" >&2
done
cycle_seconds=$((SECONDS - start))

declare -A outcomes=()
start=$SECONDS
for ((i = 1; i <= rounds; i++)); do
  read -r ms first second < <(run "together-$i" "/QUIET /PORT=LPT1: /LOG=$log" --twice)
  echo "together $ms" >> "$work/times"
  pair=$(printf '%s\n' "${first:-none}" "${second:-none}" | sort -n | paste -sd' ')
  outcomes[$pair]=$(( ${outcomes[$pair]:-0} + 1 ))
  [ "$pair" = "0 1618" ] || problem "round $i ended with $pair, not 0 and 1618; transcript $work/runs/together-$i.txt"
  snapshot > "$work/state/together-$i"
  cmp -s "$work/state/setup" "$work/state/together-$i" \
    || problem "state after round $i is no clean complete setup: diff $work/state/setup $work/state/together-$i"
  # The two runs of a round stand or fall together.
  [ "$problems" = 0 ] || failed=$((failed + 2))
  problems=0
  read -r ms code _ < <(run "after-together-$i" "/QUIET /UNINSTALL /LOG=$log")
  [ "$code" = 0 ] || problem "deletion after round $i ended with ${code:-no exit code}"
  tally
done
round_seconds=$((SECONDS - start))

# Cut rounds start where the cycles left the machine (after a deletion). The
# cut falls anywhere in the median setup of the cycles after the run's first
# log line; a run that ended before it is counted, not compared.
window=$(awk '$1 == "setup" { print $2 }' "$work/times" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] + 0 }')
[ "$window" -gt 0 ] || window=1000
cut_mid_run=0
failed_before=$failed
shared_log=$log
log=$(winpath "$work/runs/cuts.log")  # the shared log's count of lines stays exact
start=$SECONDS
for ((i = 1; i <= cuts; i++)); do
  if (( i % 2 )); then kind=setup tail="/QUIET /PORT=LPT1: /LOG=$log"
  else
    kind=purge tail="/QUIET /UNINSTALL /PURGE /LOG=$log"
    read -r ms code _ < <(run "before-cut-$i" "/QUIET /PORT=LPT1: /LOG=$log")
    [ "$code" = 0 ] || problem "setup before cut $i ended with ${code:-no exit code}"
  fi
  delay=$((RANDOM % window))
  cutlog=$work/runs/cut-$i.log
  run "cut-$i" "${tail% /LOG=*} /LOG=$(winpath "$cutlog")" >/dev/null &
  # The delay counts from the run's first log line (Wine's start is no part of it).
  for ((waited = 0; waited < 1000; waited++)); do
    grep -q ' started; mode: ' "$cutlog" 2>/dev/null && break
    sleep 0.01
  done
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  wineserver -k 2>/dev/null || true
  wait || true
  wineserver -w 2>/dev/null || true
  ended=$(grep -c ' Setup.exe ended; ' "$cutlog" 2>/dev/null || true)
  began=$(grep -c ' started; mode: ' "$cutlog" 2>/dev/null || true)
  [ "$began" = 1 ] && [ "$ended" != 1 ] && cut_mid_run=$((cut_mid_run + 1))
  if [ $kind = setup ] && [ "$ended" = 1 ]; then
    # It ran to its end before the cut: nothing to finish.
    run "back-$i" "/QUIET /UNINSTALL /LOG=$log" >/dev/null
  elif [ $kind = setup ]; then
    read -r ms code _ < <(run "after-cut-$i" "/QUIET /PORT=LPT1: /LOG=$log")
    [ "$code" = 0 ] || problem "setup after cut $i ($delay ms in) ended with ${code:-no exit code}"
    snapshot > "$work/state/cut-$i"
    cmp -s "$work/state/setup" "$work/state/cut-$i" \
      || problem "state after cut $i ($kind, $delay ms in) and a setup: diff $work/state/setup $work/state/cut-$i"
    read -r ms code _ < <(run "back-$i" "/QUIET /UNINSTALL /LOG=$log")
  else
    read -r ms code _ < <(run "after-cut-$i" "/QUIET /UNINSTALL /PURGE /LOG=$log")
    [ "$code" = 0 ] || [ "$code" = 3010 ] || problem "purge after cut $i ($delay ms in) ended with ${code:-no exit code}"
    snapshot > "$work/state/cut-$i"
    [ "$(cat "$work/state/cut-$i")" = "$clean_state" ] \
      || problem "state after cut $i ($kind, $delay ms in) and a purge is not the clean machine: $work/state/cut-$i"
    # Back to where the cycles left it: two setups, each followed by a deletion.
    for step in 1 2; do
      run "back-$i-$step" "/QUIET /PORT=LPT1: /LOG=$log" >/dev/null
      run "back-$i-$step-deletion" "/QUIET /UNINSTALL /LOG=$log" >/dev/null
    done
  fi
  tally
done
cut_seconds=$((SECONDS - start))
cut_failed=$((failed - failed_before))
log=$shared_log
clean_install_state

python3 - "$work/times" <<'EOF'
import statistics, sys
times = {}
for line in open(sys.argv[1]):
    kind, ms = line.split()
    if ms.isdigit():
        times.setdefault(kind, []).append(int(ms))
print('== Start to exit in ms (robot): median [min..max] of the runs')
for kind, label in (('setup', 'quiet complete setup'), ('deletion', 'quiet complete deletion'),
                    ('together', 'two quiet setups together')):
    v = times.get(kind, [])
    if v:
        print(f'{label:32}{statistics.median(v):8.0f} [{min(v)}..{max(v)}]  over {len(v)} runs')
EOF
echo "cycles: $((2 * cycles)) runs in ${cycle_seconds} s; state compared after each step of cycles 3 to $cycles with cycle 2"
echo "rounds: $rounds in ${round_seconds} s; exit codes per round:" \
  "$(for pair in "${!outcomes[@]}"; do printf '%s x%s; ' "{$pair}" "${outcomes[$pair]}"; done)"
echo "cuts: $cuts in ${cut_seconds} s, at 0 to $window ms after the first log line; $cut_mid_run cut mid-run (after" \
  "its first log line, before its last); the follow-up setup or purge converged in $((cuts - cut_failed)) of $cuts"
# Every run, the busy ones too, leaves its first and its last line in the
# shared log; a cut-short run only its first.
runs=$((2 * cycles + 3 * rounds))
started=$(grep -c ' Setup.exe [0-9.]* started; ' "$work/runs/soak.log" || true)
ended=$(grep -c ' Setup.exe ended; exit code ' "$work/runs/soak.log" || true)
echo "log of every run: $work/runs/soak.log: $started first lines and $ended last lines of $runs runs"
[ "$started" = "$runs" ] && [ "$ended" = "$runs" ] || { echo "FAILED the log lost lines"; failed=$((failed + 1)); }
echo "$failed of $((runs + cuts)) runs and cut rounds failed"
[ "$failed" = 0 ]
