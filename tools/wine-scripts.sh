# Shared by the measurement scripts (benchmark.sh, soak.sh), sourced from the
# top of the tree after they set build (the build folder) and work (their
# scratch folder): building, a Wine prefix of their own with the sample media,
# and putting the prefix back to its state before a setup.
model="Corvan Tessik"

die() { echo "${0##*/}: $*" >&2; exit 1; }

# Build output goes to a log, shown only when the build fails.
build_programs() {
  local log=$PWD/$build/${0##*/}-build.log
  mkdir -p "$build"
  { cmake -S . -B "$build" && cmake --build "$build" -j"$(nproc)"; } >"$log" 2>&1 \
    || { tail -n 30 "$log" >&2; die "build failed; full output in $log"; }
  arch=$(sed -n 's/^TARV_E2E_ARCH:STRING=//p' "$build/CMakeCache.txt")
  bin=$build/$arch/bin
  tools=$build/$arch/test-tools
  [ -f "$bin/Setup.exe" ] && [ -f "$build/i686/bin/Setup.exe" ] || die "no Setup.exe in $build"
}

# A prefix of its own (build/wineprefix-NAME-ARCH), so that the test suite's
# prefix is left as it is; a fresh copy of the media in $work/media.
setup_wine() {
  prefix=$PWD/$build/wineprefix-$1-$arch
  [ -f "$prefix/system.reg" ] || tools/wine-prefix.sh "$prefix" "$arch"
  if [ "$arch" = i686 ]; then wine=/usr/lib/wine/wine; export WINEARCH=win32
  else wine=/usr/lib/wine/wine64; export WINEARCH=win64; fi
  # English messages, so that the completion dialog is recognised by its text;
  # through LANG, since the shell warns about every LC_ALL it has no locale for.
  unset LC_ALL LC_MESSAGES
  export WINEPREFIX=$prefix WINELOADER=$wine WINEDEBUG=-all LANG=en_US.UTF-8
  unset DISPLAY
  rm -rf "$work" && mkdir -p "$work/media" "$work/runs"
  cp "$bin/Setup.exe" "$work/media/"
  if [ -d "$bin/drivers" ]; then cp -r "$bin/drivers" "$work/media/"; fi
  sysdir=$(unix_folder SYSDIR)
  driverdir=$(unix_folder DRIVERDIR)
  windir=$(unix_folder WINDIR)
}

winpath() { echo "Z:$1" | tr / '\\'; }

# Unix path of a probe "folders" line (SYSDIR, DRIVERDIR, WINDIR).
unix_folder() {
  local dir
  dir=$("$wine" "$tools/probe.exe" folders | tr -d '\r' | sed -n "s/^$1 //p")
  [ -n "$dir" ] || die "probe did not report $1"
  echo "$prefix/drive_c$(printf '%s' "${dir#?:}" | tr '\\' /)"
}

# Removes NAME and its .bku backup from DIR; Wine's C: drive ignores case.
remove_with_backup() {
  find "$1" -maxdepth 1 \( -iname "$2" -o -iname "${2%.*}.bku" \) -exec rm -f {} + 2>/dev/null || true
}

# Puts the prefix back to its state before a setup, so that every run does the
# same work: no backups, no replaced files (the installation tests' list).
clean_install_state() {
  local name file
  "$wine" "$tools/probe.exe" delete-printer "$model" delete-driver "$model" delete-service hwbridge >/dev/null
  for name in TarvUI.dll TarvGI.dll Tarv.ini Tarva.hlp Tarvf.hlp Tarv.drv; do
    remove_with_backup "$driverdir" "$name"
    remove_with_backup "$driverdir/3" "$name"
  done
  for name in hwport.dll tarvcomm.exe; do remove_with_backup "$sysdir" "$name"; done
  find "$windir/system32/drivers" -maxdepth 1 -iname hwbridge.sys -exec rm -f {} +
  # The setup library keeps the INF's name, or picks oemN.inf when it is taken.
  while IFS= read -r -d '' file; do
    case ${file##*/} in [Tt][Aa][Rr][Vv].*) ;; *) grep -q "$model" "$file" || continue ;; esac
    rm -f "$file" "${file%.*}.pnf" "${file%.*}.PNF"
  done < <(find "$windir/inf" -maxdepth 1 \( -iname tarv.inf -o -iname tarv.pnf -o -iname 'oem*.inf' \) -print0)
}

