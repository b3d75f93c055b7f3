#!/usr/bin/env bash
# A real, publicly signed 32-bit PE (Debian's signed i386 GRUB EFI image) keeps
# its signature when tagged by appending: osslsigncode's current and
# calculated message digests still agree and it reports no PE checksum
# warning, and `stubkit tag get` returns the text. Clearing restores the file.
# The package is fetched with `apt-get download` into WORK_DIR once; without
# it (no network, no i386 architecture) the test is skipped (exit 77).
#
# usage: signed_pe_test.sh STUBKIT WORK_DIR
set -euo pipefail
stubkit=$1 work=$2
package=grub-efi-ia32-signed:i386
member=./usr/lib/grub/i386-efi-signed/gcdia32.efi.signed

mkdir -p "$work"
cd "$work"
if [ ! -f original.efi ]; then
  rm -f ./*.deb
  if ! apt-get download "$package" >download.log 2>&1; then
    echo "SKIP: cannot download $package (see $work/download.log)"
    exit 77
  fi
  dpkg-deb --fsys-tarfile ./*.deb | tar -xO "$member" >original.efi.part
  mv original.efi.part original.efi
  rm -f ./*.deb
fi

digests() {
  osslsigncode verify -in "$1" 2>&1 | sed -n 's/^\(Current\|Calculated\) message digest *: *\([0-9A-F]*\).*/\2/p'
}
checksum_warning() { osslsigncode verify -in "$1" 2>&1 | grep -i 'checksum' | grep -i 'warning' || true; }

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

mapfile -t before < <(digests original.efi)
[ "${#before[@]}" = 2 ] && [ "${before[0]}" = "${before[1]}" ] || fail "the original's digests do not agree: ${before[*]}"

text='appguid={8A69D345-D564-463C-AFF1-A69D9E530F96}&lang=en'
"$stubkit" tag set original.efi "$text" -o tagged.efi 2>/dev/null
mapfile -t after < <(digests tagged.efi)
[ "${#after[@]}" = 2 ] && [ "${after[0]}" = "${after[1]}" ] || fail "tagging broke the digest: ${after[*]}"
[ "${after[0]:-}" = "${before[0]:-x}" ] || fail "the signed digest changed"
[ -z "$(checksum_warning tagged.efi)" ] || fail "osslsigncode warns about the PE checksum"
got=$("$stubkit" tag get tagged.efi) || fail "stubkit tag get found no tag"
[ "$got" = "$text" ] || fail "stubkit tag get gave '$got'"

"$stubkit" tag clear tagged.efi -o cleared.efi
cmp -s cleared.efi original.efi || fail "clearing did not restore the original file"

if [ "$failures" -ne 0 ]; then exit 1; fi
echo "signed PE keeps its signature after tagging"
