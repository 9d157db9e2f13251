#!/bin/sh
# SPDX-License-Identifier: MIT
# Writes the package library's dynamic list: the data symbols that programs
# may take by copy relocation, so they must stay preemptible. Everything not
# listed binds inside the library at link time: its functions, and the
# typeinfo objects, typeinfo names and vtables (_ZTI, _ZTS, _ZTV, _ZTT, _ZTC),
# which are read-only and compared by name where two copies meet.
#
#   DynamicList.sh NM OUTPUT OBJECT-OR-ARCHIVE...
set -eu
nm=$1 out=$2
shift 2
{
    echo '{'
    # --format=posix: "name type value size"; archive member headers have no type.
    "$nm" --defined-only --extern-only --format=posix "$@" |
        awk '$2 ~ /^[BDGRSVuv]$/ && $1 !~ /^(_ZT[ISVTC]|DW\.ref\.)/ { print "  " $1 ";" }' | sort -u
    echo '};'
} > "$out.tmp"
mv "$out.tmp" "$out"
