#!/usr/bin/env bash
# The stub signed by osslsigncode three ways (with the reserved certificate
# from `stubkit tag reserve` passed to -ac, with one inserted afterwards by
# `stubkit tag reserve --into`, and plain), then tagged, re-tagged with a
# shorter text and cleared. After each step osslsigncode must still verify the
# signature without a warning (the PE checksum included), and both
# `stubkit tag get` and the stub's own reader under Wine must give the text.
#
# usage: real_tools_test.sh STUBKIT PRINT_TAG.EXE WINE_RUN WORK_DIR CERT KEY RESERVED.EXE PLAIN.EXE
set -euo pipefail
stubkit=$1 print_tag=$2 wine_run=$3 work=$4 cert=$5 key=$6 reserved_signed=$7 plain_signed=$8

rm -rf "$work"
mkdir -p "$work"
cd "$work"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Signature intact and no warning from osslsigncode (checksum included).
verify() {
  local file=$1 out
  out=$(osslsigncode verify -CAfile "$cert" -in "$file" 2>&1) || { fail "$file: osslsigncode verify failed"; echo "$out" >&2; return; }
  grep -q '^Signature verification: ok' <<<"$out" || fail "$file: signature not ok"
  if grep -qi 'warning' <<<"$out"; then fail "$file: osslsigncode warns:"; grep -i warning <<<"$out" >&2; fi
}

# The tag as stubkit and as the stub's reader under Wine see it ("" = none).
expect_tag() {
  local file=$1 want=$2 got windows
  if got=$("$stubkit" tag get "$file" 2>/dev/null); then :; else got=""; fi
  [ "$got" = "$want" ] || fail "$file: stubkit tag get gave '$got', want '$want'"
  windows="Z:$(realpath "$file" | tr / '\\')"
  if got=$("$wine_run" "$print_tag" "$windows" 2>/dev/null | tr -d '\r'); then :; else got=""; fi
  [ "$got" = "$want" ] || fail "$file: the stub's reader under Wine gave '$got', want '$want'"
}

long='appguid={8A69D345-D564-463C-AFF1-A69D9E530F96}&iid={2D8C18E9-8D3A-4EFC-6D61-AE1A2DE9A1E9}&lang=en&usagestats=1&needsadmin=prefers&appname=Long%20Name'
short='appguid={A}&lang=de'

"$stubkit" tag reserve --into "$plain_signed" -o inserted.exe
cp "$reserved_signed" reserved.exe
cp "$plain_signed" appended.exe
cp "$plain_signed" plain-original.exe

for file in reserved.exe inserted.exe appended.exe; do
  echo "== $file"
  size_before=$(stat -c %s "$file")
  verify "$file"
  expect_tag "$file" ""

  "$stubkit" tag set "$file" "$long" 2>warning.txt
  if [ "$file" = appended.exe ]; then
    grep -q 'appended' warning.txt || fail "$file: no warning about appended data"
  else
    [ ! -s warning.txt ] || { fail "$file: unexpected message:"; cat warning.txt >&2; }
    [ "$(stat -c %s "$file")" = "$size_before" ] || fail "$file: tagging in place changed the size"
  fi
  verify "$file"
  expect_tag "$file" "$long"

  "$stubkit" tag set "$file" "$short" 2>/dev/null
  verify "$file"
  expect_tag "$file" "$short"
  if grep -q 'Long%20Name' "$file"; then fail "$file: the longer text's tail survived re-tagging"; fi

  "$stubkit" tag clear "$file"
  verify "$file"
  expect_tag "$file" ""
done
cmp -s appended.exe plain-original.exe || fail "clearing the appended tag did not restore the signed file"

# Refusals leave the file as it was and exit 1 with a reason.
cp "$reserved_signed" refused.exe
for text in '' 'a"b' "$(head -c 8193 /dev/zero | tr '\0' x)"; do
  if "$stubkit" tag set refused.exe "$text" 2>reason.txt; then fail "tag set accepted '${text:0:20}'"; fi
  [ -s reason.txt ] || fail "tag set refused '${text:0:20}' without a reason"
done
cmp -s refused.exe "$reserved_signed" || fail "a refused tag set changed the file"
ls ./*.tmp.* >/dev/null 2>&1 && fail "temporary files left behind"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "all real-tool checks passed"
