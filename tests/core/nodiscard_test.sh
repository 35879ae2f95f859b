#!/usr/bin/env bash
# The results that carry the data-safety rule cannot be dropped: a call that ignores one does not
# compile without a warning (an error in the developer presets). Each call of the table is
# compiled alone and must draw that warning.
set -uo pipefail

compiler=${1:?the C++ compiler}
source=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

calls=(
  'WriteFileAtomically("f", "bytes");'
  'CEmailMsg m; SaveEmail("f", m, "a", "r");'
  'CEmailMsg m; SaveEmailToFolder("d", m, "a", "r");'
  'CEmailMsg m; SaveEmailToTemporaryFile(m, "a", "r");'
  'CopyToSpamFolder("f", "REASON: r");'
  'CAccountList l; SaveAccounts(l);'
  'CFilterLists l; std::mutex m; SaveWordList(l, m);'
  'CFilterLists l; std::mutex m; SaveFriends(l, m);'
  'CSettings s; CProfileStore p; s.SaveSettings(p);'
)
for call in "${calls[@]}"; do
  cat >"$work/call.cpp" <<SOURCE
#include <mutex>
#include "core/AccountsFile.h"
#include "core/Settings.h"
#include "core/TextFile.h"
#include "filter/FilterFiles.h"
#include "mail/MessageFiles.h"
namespace sieveclaw {
void Drop() { $call }
}
SOURCE
  if "$compiler" -std=c++20 -fsyntax-only -Werror=unused-result -I"$source" "$work/call.cpp" >"$work/out" 2>&1; then
    echo "FAIL: '$call' drops its result without a warning"
    failures=$((failures + 1))
  elif ! grep -qE 'unused-result|nodiscard' "$work/out"; then
    echo "FAIL: '$call' did not compile for another reason: $(head -5 "$work/out")"
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] && echo "every data-safety result must be handled"
exit "$failures"
