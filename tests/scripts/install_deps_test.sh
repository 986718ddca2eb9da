#!/usr/bin/env bash
# scripts/install-deps.sh against a package archive in mid-sync, played by a
# stand-in apt-get: the update always fails on one index, and the install
# fails unless the release's own suite is asked for (mid-sync), or always
# (broken).
#   install_deps_test.sh mid-sync|broken
set -euo pipefail
case_name=$1
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/bin"
cat >"$work/bin/apt-get" <<STUB
#!/usr/bin/env bash
echo "\$*" >>"$work/calls"
case "\$*" in
  update*)
    echo "Err:6 http://deb.debian.org/debian-security bookworm-security/main i386 Packages"
    echo "  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100 ;;
  *install*)
    if [ "$case_name" = mid-sync ] && [[ " \$* " == *" -t \$(. /etc/os-release; echo "\$VERSION_CODENAME") "* ]]; then
      exit 0
    fi
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100 ;;
esac
STUB
# The real sudo resets PATH, which would find the real apt-get.
printf '#!/usr/bin/env bash\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/apt-get" "$work/bin/sudo"

status=0
PATH="$work/bin:$PATH" INSTALL_DEPS_RETRY_PAUSE=0 \
  "$top/scripts/install-deps.sh" websetup-no-such-package >"$work/out" 2>&1 || status=$?
cat "$work/out"
echo "--- apt-get was called with:"
cat "$work/calls"

fail() { echo "FAIL: $*" >&2; exit 1; }
updates=$(grep -c '^update' "$work/calls" || true)
[ "$updates" -eq 3 ] || fail "apt-get update tried $updates times, not 3"
grep -q 'update failed 3 times (http://deb.debian.org/debian-security bookworm-security/main i386 Packages)' "$work/out" ||
  fail "no line naming the failed index"
installs=$(grep -c 'install' "$work/calls" || true)
[ "$installs" -eq 2 ] || fail "apt-get install tried $installs times, not 2"
grep 'install' "$work/calls" | tail -n 1 | grep -q -- '-t .*websetup-no-such-package' ||
  fail "the second install did not ask for the release's suite"
case $case_name in
  mid-sync)
    [ "$status" -eq 0 ] || fail "ended with $status, not 0"
    grep -q 'looks mid-sync' "$work/out" || fail "no line saying why it installs again" ;;
  broken)
    [ "$status" -ne 0 ] || fail "ended with 0 though both installs failed"
    tail -n 1 "$work/out" | grep -q 'may be mid-sync, try again later' || fail "no closing explanation"
    grep -q 'held broken packages' "$work/out" || fail "the failed install's output is not shown" ;;
esac
echo "PASS"
