#!/usr/bin/env bash
# The bash completion of sonovert-encode, as bash-completion runs it: options, their values and
# the files an input can be. Usage: tests/completion.sh COMPLETION_FILE BUILD_DIR
set -uo pipefail
[ -r /usr/share/bash-completion/bash_completion ] || { echo "bash-completion is not installed"; exit 77; }
source /usr/share/bash-completion/bash_completion
source "$1"
PATH="$(cd "$2" && pwd)/cli:$PATH"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" && touch a.wav b.flac c.txt d.cue e.AIFF f.png && mkdir folder

failed=0
# The line typed so far, split as bash splits it; what the completion must offer, in order.
check() {
  local line=$1 want=$2
  COMP_LINE=$line
  COMP_POINT=${#line}
  read -r -a COMP_WORDS <<<"$line"
  [[ $line == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _sonovert_encode sonovert-encode "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
  if [ "$got" != "$want" ]; then
    echo "FAIL: '$line' offers '$got', not '$want'"
    failed=$((failed + 1))
  fi
}
check "sonovert-encode --exi" "--existing="
check "sonovert-encode --existing=" "overwrite rename skip"
check "sonovert-encode --replaygain=o" "off on"
check "sonovert-encode --UseV" "--UseVBR="
check "sonovert-encode --UseVBR=" "False True"
check "sonovert-encode --preset " "extreme insane medium standard"
check "sonovert-encode --pres" "--preset"
check "sonovert-encode --pregap=" "drop next previous"
check "sonovert-encode --noreplay" "--noreplaygain"
check "sonovert-encode -o " "folder"
check "sonovert-encode --cover=" "f.png folder none"
check "sonovert-encode " "a.wav b.flac d.cue e.AIFF folder"
echo "$((11 - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
