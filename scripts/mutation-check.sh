#!/usr/bin/env bash
# Puts small faults into core/ one at a time and checks that the Release test
# suite fails for each of them. Every fault on the list is one a listener
# would hear or one that would lose a user's data, so a fault that survives
# points at a gap in the tests.
#
# Run on demand only; it takes a while (one incremental build and one test
# run per fault). It tests the committed tree (HEAD), extracted into a
# temporary folder: the working tree, its build folders and the repository
# are never touched, and the temporary folder is removed on exit, error or
# interruption.
#
#   scripts/mutation-check.sh                 every fault
#   scripts/mutation-check.sh ID...           only these faults
#   scripts/mutation-check.sh --list          the faults, without running anything
#   scripts/mutation-check.sh -j 4 ...        build and test jobs (default: all cores)
#
# Exit status: 0 when every fault was killed, 1 when one survived, 2 when the
# script could not do its work (a pattern no longer matches, a fault does not
# compile, the clean tree fails its own tests).
set -euo pipefail
set -m # each build and test run gets a process group of its own, so cleanup can stop all of it

repo="$(cd "$(dirname "$0")/.." && pwd)"
jobs="$(nproc)"

#==============================================================================
# The faults: id, file, what a listener or user would suffer, the exact text to
# replace (it must occur exactly once in the file) and its replacement.
ids=() files=() whats=() finds=() replaces=()
fault() { ids+=("$1"); files+=("$2"); whats+=("$3"); finds+=("$4"); replaces+=("$5"); }

P=core/PluginProcessor.cpp
fault return-ignored       $P "Return gain not applied to the wet signal" \
    'out[i] = (returnValues[i] * wet[i] - dry[i])' 'out[i] = (wet[i] - dry[i])'
fault overlap-half-range   $P "Overlap scaled to 0..0.5 instead of 0..1" \
    '0.02f * rawValues.overlap->load()' '0.01f * rawValues.overlap->load()'
fault reset-keeps-engine   $P "reset() no longer clears the engine: the old tail plays on" \
    'reverser.clear();' ''
fault mix-drops-dry        $P "dry signal not added back after the mix" \
    '* mixValues[i] + dry[i];' '* mixValues[i];'
fault send-right-from-left $P "right engine fed from the left input: stereo collapses" \
    'sendRight[i] = sendValues[i] * dryRight[i];' 'sendRight[i] = sendValues[i] * dryLeft[i];'
fault feedback-double      $P "Feedback scaled to 0..2: runaway repeats" \
    '0.01f * rawValues.feedback->load()' '0.02f * rawValues.feedback->load()'
fault curve-ignored        $P "Curve parameter ignored" \
    'const int curve = (int) rawValues.curve->load();' 'const int curve = 0;'
fault mono-right-unfed     $P "mono input on a stereo output does not feed the right channel" \
    'else if (outs >= 2)' 'else if (outs > 2)'
fault segment-half-length  $P "segments half as long as Time asks at the host tempo" \
    '(double) wholeNotes * 240.0 * getSampleRate()' '(double) wholeNotes * 120.0 * getSampleRate()'
fault time-change-no-sync  $P "changing Time while playing no longer re-aligns to the bar" \
    '|| segmentLength != lastSegmentLength ' ''
fault sync-left-only       $P "bar re-alignment reaches the left channel only" \
    'for (auto* channel : { &reverser.left, &reverser.right })' 'for (auto* channel : { &reverser.left })'
fault full-block-dry       $P "blocks of the prepared size play dry" \
    'n > preparedBlockSize' 'n >= preparedBlockSize'
fault state-drops-params   $P "saved host state without the parameters" \
    'root.addChildElement (tree.release());' '(void) tree;'
fault state-drops-preset   $P "restored host state forgets the current preset" \
    'presetManager.currentPresetPath = path;' ''

fault stored-omitted-lost  core/StoredXml.cpp "parameters a stored tree omits are not kept" \
    'tree.appendChild (child, nullptr);' ''
fault stored-nan-accepted  core/StoredXml.cpp "a stored value that is not a number reaches the engine" \
    'std::isnan ((double) child.getProperty ("value"))' 'false'

fault preset-not-applied   core/PresetManager.cpp "loading a preset leaves the parameters as they were" \
    'parameters.replaceState (parameterTreeFromXml (parameters, *stored));' ''
fault preset-path-lost     core/PresetManager.cpp "a loaded preset is not remembered as the current one" \
    'currentPresetPath = file.getFullPathName();' ''

fault quadratic-map-linear core/Marnovex_ParameterFunctions.cpp "Send, Return and Intensity knobs linear instead of quadratic" \
    'std::min (normalised * normalised, 1.0f)' 'std::min (normalised, 1.0f)'

fault smoother-2hz         core/ControlSignals.h "parameter smoothing at 2 Hz instead of 4 Hz" \
    '(0.25f * sampleRate)' '(0.5f * sampleRate)'
fault smoother-no-jump     core/ControlSignals.h "after reset the smoothers glide instead of jumping to their targets" \
    'current = target;' ''
fault follower-100ms       core/ControlSignals.h "level follower intervals of 100 ms instead of 10 ms" \
    'interval = 0.01f * sampleRate;' 'interval = 0.1f * sampleRate;'

R=core/Reverser.h
fault clear-left-only      $R "reset clears the left channel only" \
    'right.clear();' ''
fault clear-keeps-audio    $R "clearing the engine moves the heads but keeps the recording" \
    $'    void clear() noexcept\n    {\n        if (buffer != nullptr && bufferLength != 0)\n            std::memset (buffer, 0, sizeof (float) * (size_t) bufferLength);\n' \
    $'    void clear() noexcept\n    {\n'

#==============================================================================
usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; }

selected=()
while [ $# -gt 0 ]; do
    case "$1" in
        -j) jobs="$2"; shift 2 ;;
        -j*) jobs="${1#-j}"; shift ;;
        --list)
            for k in "${!ids[@]}"; do printf '%-22s %-36s %s\n' "${ids[$k]}" "${files[$k]}" "${whats[$k]}"; done
            exit 0 ;;
        -h|--help) usage; exit 0 ;;
        -*) echo "unknown option: $1" >&2; exit 2 ;;
        *) selected+=("$1"); shift ;;
    esac
done

chosen=()
if [ ${#selected[@]} -eq 0 ]; then
    chosen=("${!ids[@]}")
else
    for want in "${selected[@]}"; do
        found=""
        for k in "${!ids[@]}"; do [ "${ids[$k]}" = "$want" ] && found="$k"; done
        [ -n "$found" ] || { echo "no fault named '$want' (see --list)" >&2; exit 2; }
        chosen+=("$found")
    done
fi

#==============================================================================
tmp=""
child=""
cleanup() {
    trap - EXIT INT TERM HUP
    if [ -n "$child" ]; then
        kill -TERM -- "-$child" 2>/dev/null || true
        wait "$child" 2>/dev/null || true
    fi
    if [ -n "$tmp" ]; then
        rm -rf -- "$tmp"
    fi
}
trap cleanup EXIT
trap 'echo "interrupted" >&2; exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# Runs a command in its own process group, output appended to a log, and
# returns its status. Waiting in the background lets a signal reach the trap at once.
run_logged() {
    local log="$1"; shift
    "$@" >>"$log" 2>&1 &
    child=$!
    local status=0
    wait "$child" || status=$?
    child=""
    return "$status"
}

# Counts the exact text's occurrences in a file and, with APPLY=1, replaces
# it. Fails unless it occurs exactly once.
edit_file() {
    FIND="$2" REPLACE="$3" APPLY="$4" perl -e '
        my ($path) = @ARGV;
        open (my $in, "<", $path) or die "cannot read $path: $!\n";
        local $/; my $text = <$in>; close $in;
        my $count = () = $text =~ /\Q$ENV{FIND}\E/g;
        die "$path: the fault text occurs $count times, not once\n" unless $count == 1;
        exit 0 unless $ENV{APPLY};
        $text =~ s/\Q$ENV{FIND}\E/$ENV{REPLACE}/;
        open (my $out, ">", $path) or die "cannot write $path: $!\n";
        print $out $text; close $out or die "cannot write $path: $!\n";
    ' "$1"
}

fail() { echo "mutation-check: $*" >&2; exit 2; }

git -C "$repo" rev-parse --verify -q HEAD >/dev/null || fail "$repo is not a git repository with a commit"
if [ -n "$(git -C "$repo" status --porcelain -- core tests CMakeLists.txt)" ]; then
    echo "note: uncommitted changes in core/, tests/ or CMakeLists.txt are not part of this check; it tests HEAD" >&2
fi

tmp="$(mktemp -d "${TMPDIR:-/tmp}/vorn-mutation.XXXXXX")"
tree="$tmp/tree" build="$tmp/build" log="$tmp/log"
mkdir -p "$tree"
git -C "$repo" archive --format=tar HEAD | tar -x -C "$tree"
echo "testing $(git -C "$repo" rev-parse --short HEAD) in $tmp" >&2

# Every fault must still apply before anything is built.
bad=0
for k in "${chosen[@]}"; do
    [ -f "$tree/${files[$k]}" ] || { echo "${ids[$k]}: ${files[$k]} does not exist" >&2; bad=1; continue; }
    edit_file "$tree/${files[$k]}" "${finds[$k]}" "${replaces[$k]}" 0 || { echo "  (fault ${ids[$k]})" >&2; bad=1; }
done
[ "$bad" -eq 0 ] || fail "the fault list no longer matches the code; update it"

export VORN_REQUIRE_DISPLAY=1
build_tree() { run_logged "$log" cmake --build "$build" -j "$jobs"; }
test_tree() {
    run_logged "$log" xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
        ctest --test-dir "$build" -j "$jobs" --stop-on-failure --output-on-failure
}
# The first test that failed, and how many others did (ctest stops starting
# tests after a failure, so the count is a lower bound).
first_failed_test() {
    local failed="$build/Testing/Temporary/LastTestsFailed.log"
    if [ ! -s "$failed" ]; then
        echo "?"
        return
    fi
    local count
    count="$(wc -l <"$failed")"
    printf '%s%s\n' "$(head -n 1 "$failed" | cut -d: -f2-)" "$([ "$count" -gt 1 ] && echo " (+$((count - 1)))")"
}

echo "building the clean tree..." >&2
: >"$log"
run_logged "$log" cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORN_BUILD_BENCHMARKS=OFF \
    || { tail -n 40 "$log" >&2; fail "configuring the clean tree failed"; }
build_tree || { tail -n 40 "$log" >&2; fail "building the clean tree failed"; }
echo "running the tests on the clean tree..." >&2
test_tree || { tail -n 60 "$log" >&2; fail "the clean tree fails its own tests ($(first_failed_test))"; }

results=() killers=()
survivors=0 broken=0
for k in "${chosen[@]}"; do
    file="$tree/${files[$k]}"
    echo "[${ids[$k]}] ${whats[$k]}" >&2
    cp -p "$file" "$tmp/original"
    edit_file "$file" "${finds[$k]}" "${replaces[$k]}" 1 || fail "could not apply ${ids[$k]}"

    : >"$log"
    if ! build_tree; then
        results[$k]="NOT BUILT"; killers[$k]="-"; broken=$((broken + 1))
        tail -n 20 "$log" >&2
    elif test_tree; then
        results[$k]="SURVIVED"; killers[$k]="-"; survivors=$((survivors + 1))
    else
        results[$k]="killed"; killers[$k]="$(first_failed_test)"
    fi
    echo "    ${results[$k]} ${killers[$k]}" >&2

    # A fresh timestamp, so the next build recompiles what the fault touched.
    cp "$tmp/original" "$file"
    touch "$file"
done

echo
printf '%-22s %-10s %-70s %s\n' "fault" "result" "what it breaks" "first failing test"
for k in "${chosen[@]}"; do
    printf '%-22s %-10s %-70s %s\n' "${ids[$k]}" "${results[$k]}" "${whats[$k]}" "${killers[$k]}"
done
echo
echo "${#chosen[@]} faults: $(( ${#chosen[@]} - survivors - broken )) killed, $survivors survived, $broken not built"

[ "$broken" -eq 0 ] || exit 2
[ "$survivors" -eq 0 ] || exit 1
