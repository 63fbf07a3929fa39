#!/usr/bin/env bash
# The library exports its three classes, the functions beside them and the
# Corekit types they use, versioned, and nothing else.
set -euo pipefail
symbols=$(nm -D -C --defined-only "$1" | cut -d' ' -f3- | grep -v '^SCRIVLET_1$')
unexpected=$(grep -Ev '^((typeinfo|typeinfo name|vtable) for )?(CVIFField|CVendorInfoFile|CVIFSummary|CSafeString|CUtf8Deleter|CQXException|CQXRunTimeException)\b|^(Utf16ToUtf8|GetWarnings|CountWarnings|GetFieldLines)\(' <<<"$symbols" || true)
[ -z "$unexpected" ] || { echo "unexpected exports:"; echo "$unexpected"; exit 1; }
unversioned=$(nm -D --defined-only "$1" | grep -v '@@SCRIVLET_1$' | grep -v ' A SCRIVLET_1$' || true)
[ -z "$unversioned" ] || { echo "unversioned exports:"; echo "$unversioned"; exit 1; }
for wanted in 'CVIFField::Match(char const\*) const' 'CVendorInfoFile::Count(char16_t const\*) const' \
              'CVIFSummary::CVIFSummary(EUsbType, char const\*)' 'typeinfo for CQXRunTimeException' \
              'GetWarnings(CVendorInfoFile const&)'; do
    grep -q "^$wanted" <<<"$symbols" || { echo "missing export: $wanted"; exit 1; }
done
echo "exports as expected"
