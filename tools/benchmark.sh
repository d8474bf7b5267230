#!/usr/bin/env bash
# Measures Setup.exe under Wine on the sample media: how much longer a complete
# setup and a complete deletion take than the waits the program must make, how
# much longer quiet ones take than a trivial Wine program, how long the
# Windows Installer package takes to install and remove beside them, its size
# and imports, and its peak memory. A measurement, not a test: it exits 0
# whether the targets are met or not, and non-zero only when the build or a
# run fails.   RUNS=N (default 5)  VERSION=winxp  BUILD_DIR=build
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
runs=${RUNS:-5}
version=${VERSION:-winxp}
work=$PWD/$build/bench

source tools/wine-scripts.sh
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "RUNS must be a positive number, not '$runs'"

# Writes the last VmHWM (peak resident set, KiB) seen of the process whose
# command line starts with the media's Setup.exe, every 50 ms: neither the
# robot, which names it later in its command line, nor a Setup.exe of the test
# suite matches. Replaces the calling subshell, so that its pid can be killed.
sample_peak() {
  exec python3 - "$(winpath "$work/media/Setup.exe")" "$1" <<'EOF'
import os, sys, time
program, out, pid = sys.argv[1].lower(), sys.argv[2], None

def command(p):
    try:
        with open(f'/proc/{p}/cmdline', 'rb') as f:
            return f.read().split(b'\0')[0].decode(errors='replace').lower()
    except OSError:
        return ''

while True:
    if pid is None:
        pid = next((p for p in os.listdir('/proc') if p.isdigit() and command(p) == program), None)
    try:
        with open(f'/proc/{pid}/status') as f:
            hwm = next(line.split()[1] for line in f if line.startswith('VmHWM:'))
        with open(out, 'w') as f:
            f.write(hwm + '\n')
    except (OSError, StopIteration):
        pass  # not started yet, or ended (a zombie has no VmHWM)
    time.sleep(0.05)
EOF
}

# Runs Setup.exe with TAIL under the robot, answering with the remaining
# arguments; the transcript goes to runs/NAME.txt, the peak to runs/NAME.peak.
run_step() {
  local name=$1 tail=$2 out=$work/runs/$1 sampler attempt; shift 2
  printf '%s\n' "$@" > "$work/media/answers.txt"
  for attempt in 1 2; do
    rm -f "$out.peak"
    sample_peak "$out.peak" & sampler=$!
    "$wine" "$tools/robot.exe" --cwd "$(winpath "$work/media")" --version "$version" --tail "$tail" \
      --answers "$(winpath "$work/media/answers.txt")" --out "$(winpath "$out.txt")" -- \
      "$(winpath "$work/media/Setup.exe")" >/dev/null || true
    kill "$sampler" && wait "$sampler" 2>/dev/null || true
    # A wineserver that is just shutting down can refuse the start altogether.
    grep -q ' STARTED$' "$out.txt" 2>/dev/null && break
  done
  grep -q ' EXIT 1$' "$out.txt" && ! grep -qE ' (TIMEOUT|UNANSWERED|START-FAILED)' "$out.txt" \
    || die "$name did not end normally; transcript $out.txt"
}

# Runs a program under the robot with no answers (a quiet run shows nothing):
# the robot's EXIT time is the start-to-exit time. Transcript in runs/NAME.txt.
run_quiet() {
  local name=$1 program=$2 tail=$3 out=$work/runs/$1 attempt
  for attempt in 1 2; do
    "$wine" "$tools/robot.exe" --cwd "$(winpath "$work/media")" --version "$version" --tail "$tail" \
      --answers "$(winpath /dev/null)" --out "$(winpath "$out.txt")" -- "$(winpath "$program")" >/dev/null || true
    grep -q ' STARTED$' "$out.txt" 2>/dev/null && break
  done
  grep -q ' EXIT 0$' "$out.txt" && ! grep -qE ' (WINDOW|TIMEOUT|START-FAILED)' "$out.txt" \
    || die "$name did not end quietly with exit code 0; transcript $out.txt"
}

# A trivial Wine program (the probe listing folders), for comparison: its
# peak resident set (runs/NAME.peak) and its time from start to exit (NAME.ms).
wine_baseline() {
  python3 -c 'import resource, subprocess, sys, time
start = time.monotonic()
subprocess.run(sys.argv[2:], stdout=subprocess.DEVNULL, check=True)
open(sys.argv[1] + ".ms", "w").write(f"{round(1000 * (time.monotonic() - start))}\n")
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$1" "$wine" "$tools/probe.exe" folders > "$1.peak"
}

measure_runs() {
  local i
  for ((i = 1; i <= runs; i++)); do
    clean_install_state
    run_step "setup-$i" "" "click 6" "select LPT1:;click 1" "click 1"
    grep -q 'text="Setup is complete !"' "$work/runs/setup-$i.txt" \
      || die "setup run $i showed no completion dialog; transcript $work/runs/setup-$i.txt"
    run_step "deletion-$i" "/UNINSTALL" "click 6"
    wine_baseline "$work/runs/probe-$i"
    # Quiet runs against the trivial program, each timed the same way by the robot.
    clean_install_state
    run_quiet "quiet-setup-$i" "$work/media/Setup.exe" "/QUIET /PORT=LPT1: /LOG=$(winpath "$work/runs/quiet-$i.log")"
    run_quiet "quiet-deletion-$i" "$work/media/Setup.exe" "/QUIET /UNINSTALL /LOG=$(winpath "$work/runs/quiet-$i.log")"
    run_quiet "trivial-$i" "$PWD/$tools/probe.exe" "folders"
    # The same quiet setup built without its checks and undo journal.
    clean_install_state
    run_quiet "bare-setup-$i" "$work/media-bare/Setup.exe" "/QUIET /PORT=LPT1: /LOG=$(winpath "$work/runs/bare-$i.log")"
    run_quiet "bare-deletion-$i" "$work/media-bare/Setup.exe" "/QUIET /UNINSTALL /LOG=$(winpath "$work/runs/bare-$i.log")"
    # The package runs the same quiet Setup.exe from the media it installs.
    if [ -n "$msi" ]; then
      clean_install_state
      run_quiet "msi-install-$i" "$sysdir/msiexec.exe" \
        "/i $(winpath "$msi") /qn PORT=LPT1: LOGFILE=$(winpath "$work/runs/msi-$i.log")"
      run_quiet "msi-removal-$i" "$sysdir/msiexec.exe" "/x $(winpath "$msi") /qn LOGFILE=$(winpath "$work/runs/msi-$i.log")"
    fi
    echo "run $i of $runs done" >&2
  done
  clean_install_state
}

report_size() {
  local product=$build/i686/bin/Setup.exe file
  echo "== Size of Setup.exe"
  for file in "$product" "$build/x86_64/bin/Setup.exe"; do
    [ -f "$file" ] && stat -c '%n %s' "$file" | awk '{ printf "%-32s %6d bytes  %5.1f KiB\n", $1, $2, $2 / 1024 }'
  done
  # Signed as a release would be (SHA-1 and a nested SHA-256 signature), with a
  # throwaway certificate: what the signatures add.
  if command -v osslsigncode >/dev/null && command -v openssl >/dev/null; then
    local sign=$work/sign
    mkdir -p "$sign"
    if openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Tarv benchmark signer" \
         -addext "extendedKeyUsage=codeSigning" -keyout "$sign/key.pem" -out "$sign/cert.pem" >/dev/null 2>&1 &&
       echo benchmark > "$sign/password" &&
       openssl pkcs12 -export -inkey "$sign/key.pem" -in "$sign/cert.pem" -out "$sign/signer.pfx" \
         -passout "file:$sign/password" >/dev/null 2>&1 &&
       cp "$product" "$sign/Setup.exe" &&
       package/sign.sh "$sign/Setup.exe" "$sign/signer.pfx" "$sign/password" >/dev/null; then
      stat -c %s "$sign/Setup.exe" | awk '{ printf "%-32s %6d bytes  %5.1f KiB (a 2048-bit RSA key, one certificate)\n", "signed, SHA-1 + SHA-256", $1, $1 / 1024 }'
    else
      echo "signed: the throwaway signature failed"
    fi
  fi
  echo "imports of the product (objdump -p):" \
    $(i686-w64-mingw32-objdump -p "$product" | sed -n 's/^\tDLL Name: //p')
  product_bytes=$(stat -c %s "$product")
}

# Time and memory per run, then median [min..max]. Each part of the breakdown
# has its own median, so the medians of the parts need not add up.
report_runs() {
  python3 - "$work/runs" "$runs" "$product_bytes" "${msi_name:-}" <<'EOF'
import os, statistics, sys
folder, runs, product, package = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
DUMP = 30  # the robot sleeps this long after it finds a dialog, before logging it

def parse(path):
    windows, main, end = [], None, None
    for line in open(path, encoding='utf-8', errors='replace'):
        if line.startswith('  CONTROL id=1017 ') and windows:
            windows[-1]['copy'] = True  # the progress bar of a copy or backup dialog
        if not line.startswith('@'):
            continue
        parts = line.split()
        at, word = int(parts[0][1:]), parts[1]
        if word == 'WINDOW':
            windows.append({'open': at - DUMP, 'copy': False, 'answer': None, 'closed': None})
        elif word in ('ANSWER', 'CLOSED'):
            windows[int(parts[2].rstrip(':')) - 1][word.lower()] = at
        elif word == 'MAIN' and main is None:
            main = at
        elif word == 'EXIT':
            end = at
    return windows, main, end

def figures(path, setup):
    windows, main, wall = parse(path)
    copies = [w for w in windows if w['copy']]
    answered = [w for w in windows if w['answer'] is not None]
    user = sum(w['answer'] - w['open'] for w in answered)
    required = 500 + 500 * len(copies) + (1000 if setup else 0)
    f = {'wall': wall, 'user (robot)': user, 'required waits': required, 'copy dialogs seen': len(copies),
         'overhead': wall - user - required, 'overhead %': 100.0 * (wall - user - required) / required}
    parts = {'start-up, less 500 timer': windows[0]['open'] - 500,
             'copy dialogs, less 500 each': copies[-1]['closed'] - copies[0]['open'] - 500 * len(copies)
             if copies else None,
             'last copy to completion, less 1000': answered[-1]['open'] - copies[-1]['closed'] - 1000
             if setup else None,
             'last answer to exit': wall - answered[-1]['answer']}
    parts['other (answer to next dialog)'] = f['overhead'] - sum(v for v in parts.values() if v is not None)
    f.update({'  ' + k: v for k, v in parts.items()})
    f['    start-up: start to main window'] = main
    return f

def number(name):
    try:
        return int(open(os.path.join(folder, name)).read())
    except (OSError, ValueError):
        return None

def show(v):
    return f'{v:.1f}'.rstrip('0').rstrip('.')

def cell(values):
    values = [v for v in values if v is not None]
    return f'{show(statistics.median(values))} [{show(min(values))}..{show(max(values))}]' if values else '-'

def each(name):
    return [number(name.format(i)) for i in range(1, runs + 1)]

kinds = {'setup': True, 'deletion': False}
table = {k: [figures(os.path.join(folder, f'{k}-{i}.txt'), s) for i in range(1, runs + 1)] for k, s in kinds.items()}
for i in range(runs):
    for k in kinds:
        f = table[k][i]
        print(f"run {i + 1} {k:9} wall {f['wall']:5}  user {f['user (robot)']:4}  required {f['required waits']:5}"
              f"  overhead {f['overhead']:5} ms ({f['overhead %']:5.1f} %)  peak {number(f'{k}-{i + 1}.peak')} KiB")
print(f'== Time in ms: median [min..max] over {runs} runs')
print(f"{'':42}{'complete setup':26}complete deletion")
for key in table['setup'][0]:
    print(f'{key:42}' + ''.join(f'{cell([f[key] for f in table[k]]):26}' for k in kinds))
print(f"{'trivial Wine program, start to exit':42}{cell(each('probe-{}.ms'))}")

def exit_time(name):
    for line in open(os.path.join(folder, name + '.txt'), encoding='utf-8', errors='replace'):
        if ' EXIT ' in line and line.startswith('@'):
            return int(line.split()[0][1:])
    return None

quiet = {k: [exit_time(f'{k}-{i}') for i in range(1, runs + 1)]
         for k in ('quiet-setup', 'quiet-deletion', 'trivial', 'bare-setup')}
print(f'== Quiet runs, start to exit in ms (robot): median [min..max] over {runs} runs')
print(f"{'quiet complete setup (/QUIET /PORT=LPT1:)':46}{cell(quiet['quiet-setup'])}")
print(f"{'quiet complete deletion (/QUIET /UNINSTALL)':46}{cell(quiet['quiet-deletion'])}")
print(f"{'trivial Wine program (probe.exe folders)':46}{cell(quiet['trivial'])}")
over = {k: [q - t for q, t in zip(quiet[k], quiet['trivial'])] for k in ('quiet-setup', 'quiet-deletion')}
print(f"{'  quiet setup beyond the trivial program':46}{cell(over['quiet-setup'])}")
print(f"{'  quiet deletion beyond the trivial program':46}{cell(over['quiet-deletion'])}")

def stamps(log, marks):
    # The first line of the log holding each mark, by the log's own clock.
    import datetime
    found = {}
    for line in open(os.path.join(folder, log), encoding='utf-8', errors='replace'):
        for key, text in marks.items():
            if text in line and key not in found:
                found[key] = datetime.datetime.strptime(line[:23], '%Y-%m-%d %H:%M:%S.%f')
    return found

def span(log, first, last):
    found = stamps(log, {'from': first, 'to': last})
    return round((found['to'] - found['from']).total_seconds() * 1000) if len(found) == 2 else None

# By the logs, from the folders line to "setup complete": Wine's start, which
# varies more than the whole difference, stays out. Each run is paired with
# the run without checks and journal that followed it.
work_with = [span(f'quiet-{i}.log', ' folders: system ', ' setup complete') for i in range(1, runs + 1)]
work_bare = [span(f'bare-{i}.log', ' folders: system ', ' setup complete') for i in range(1, runs + 1)]
undo = [a - b for a, b in zip(work_with, work_bare) if a is not None and b is not None]
print(f'== Checks and undo journal of a quiet setup, by its log (folders line to "setup complete"), ms')
print(f"{'with them (the product)':46}{cell(work_with)}")
print(f"{'built without them':46}{cell(work_bare)}")
print(f"{'  difference, run by run':46}{cell(undo)}")
print(f"{'  the checks alone (to their log line)':46}"
      f"{cell([span(f'quiet-{i}.log', ' folders: system ', ' checks before changes passed') for i in range(1, runs + 1)])}")
print(f"{'start to exit without them (robot)':46}{cell(quiet['bare-setup'])}")
if os.path.exists(os.path.join(folder, 'msi-install-1.txt')):
    msi = {k: [exit_time(f'{k}-{i}') for i in range(1, runs + 1)] for k in ('msi-install', 'msi-removal')}
    print(f'== Windows Installer package: {package}')
    print(f"{'msiexec /i Tarv.msi /qn (PORT=LPT1:)':46}{cell(msi['msi-install'])}")
    print(f"{'msiexec /x Tarv.msi /qn':46}{cell(msi['msi-removal'])}")
    print(f"{'  install beyond the quiet setup':46}"
          f"{cell([m - q for m, q in zip(msi['msi-install'], quiet['quiet-setup'])])}")
    print(f"{'  removal beyond the quiet deletion':46}"
          f"{cell([m - q for m, q in zip(msi['msi-removal'], quiet['quiet-deletion'])])}")
print('== Peak resident set (VmHWM) in KiB: median [min..max]')
print(f"{'Setup.exe, complete setup':42}{cell(each('setup-{}.peak'))}")
print(f"{'Setup.exe, complete deletion':42}{cell(each('deletion-{}.peak'))}")
print(f"{'trivial Wine program (probe.exe folders)':42}{cell(each('probe-{}.peak'))}")
print('== Targets (the benchmark exits 0 either way)')
for k in kinds:
    ms = statistics.median(f['overhead'] for f in table[k])
    pct = statistics.median(f['overhead %'] for f in table[k])
    verdict = 'PASS' if ms <= 100 and pct <= 5 else 'MISS'
    print(f'{verdict}  {k} overhead within 5 % and at most 100 ms: median {show(ms)} ms, {pct:.1f} %')
for k, limit in (('quiet-setup', 300), ('quiet-deletion', 100)):
    ms = statistics.median(over[k])
    print(f"{'PASS' if ms <= limit else 'MISS'}  {k.replace('-', ' ')} within {limit} ms of the trivial program: median {show(ms)} ms")
ms = statistics.median(undo)
print(f"{'PASS' if ms <= 20 else 'MISS'}  checks and undo journal of a quiet setup at most 20 ms: median {show(ms)} ms")
print(f"{'PASS' if product <= 81920 else 'MISS'}  Setup.exe (i686) at most 80 KiB: {product} bytes, {product / 1024:.1f} KiB")
EOF
}

build_programs
# Setup.exe of the same sources without the quiet setup's checks and undo
# journal, beside the media, for the cost of those two.
bare=$build/bench-bare-$arch
{ cmake -S . -B "$bare" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw.cmake" -DMINGW_ARCH="$arch" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DTARV_MEASURE_WITHOUT_UNDO=ON && cmake --build "$bare" --target Setup; } \
  >"$build/benchmark-bare-build.log" 2>&1 || die "build without checks and journal failed; see $build/benchmark-bare-build.log"
setup_wine bench
mkdir -p "$work/media-bare"
cp "$bare/bin/Setup.exe" "$work/media-bare/"  # run with the media folder as its working folder
# The package the package tests install: the shipped i686 one, or where the
# twin runs, the twin's x64 package of its own media. msiexec starts its
# Setup.exe, so the Windows version is set here rather than by the robot, and
# no earlier installation of it may stay.
msi=
if [ -f "$build/$arch/Tarv.msi" ]; then
  msi=$PWD/$build/$arch/Tarv.msi
  if [ "$arch" = i686 ]; then
    msi_name="$build/i686/Tarv.msi, the shipped package"
  else
    msi_name="$build/$arch/Tarv.msi, the $arch twin's x64 package (the shipped one is $build/i686/Tarv.msi)"
  fi
  "$wine" reg add 'HKCU\Software\Wine\AppDefaults\Setup.exe' /v Version /d "$version" /f >/dev/null
  "$wine" "$tools/robot.exe" --answers "$(winpath /dev/null)" --tail "/x $(winpath "$msi") /qn" -- \
    'C:\windows\system32\msiexec.exe' >/dev/null || true
fi
echo "== Setup.exe under Wine: $runs runs, $arch build, Windows version $version, prefix ${prefix#$PWD/}"
echo "machine: $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1)," \
  "$("$wine" --version), $(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
if [ -n "$msi" ]; then echo "package timed: $msi_name"
else echo "no $arch Tarv.msi in $build (wixl and msitools missing): the package is not timed"; fi
measure_runs
echo "load average after the runs $(cut -d' ' -f1-3 /proc/loadavg)"
report_size
report_runs
