#!/usr/bin/env bash
# Records into file systems that refuse fallocate: one write() per record against a shared mapping
# without a reservation (bench/unreserved.cpp), on ramfs and on an ext2 loop image, interleaved,
# and what each leaves on a full ext2 image once it is unmounted and mounted again.
# Then the program itself, converting a 2501 x 2501 grid there, against another build of it when
# one is named (for example the one before a change), and on the full image.
#   bench/unreserved.sh build/bench [pairs] [records] [other-program]
# Needs root (mounts, loop devices); runs in a mount namespace of its own.
set -euo pipefail
build=${1:?usage: bench/unreserved.sh <build-dir> [pairs] [records]}
pairs=${2:-5}
records=${3:-6255001}  # a 2501 x 2501 grid
other=${4:+$(realpath "$4")}
if [ -z "${VELDRIX_UNRESERVED_NS:-}" ]; then
  cmake --build "$build" --target veldrix_unreserved -j1 >/dev/null
  VELDRIX_UNRESERVED_NS=1 exec unshare -m --propagation private "$0" "$@"
fi
bin=$(realpath "$build/bench/veldrix_unreserved")
program=$(realpath "$build/veldrix")
work=$(mktemp -d)
trap 'umount -q "$work"/* 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir "$work/ramfs" "$work/ext2" "$work/full"
mount -t ramfs ramfs "$work/ramfs"
truncate -s 256M "$work/big.img" && mkfs.ext2 -q -F "$work/big.img"
mount -o loop "$work/big.img" "$work/ext2"
truncate -s 16M "$work/small.img" && mkfs.ext2 -q -F "$work/small.img"

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

echo "machine: $(nproc) cores, $(uname -r); $records records of 16 bytes, $pairs runs each"
for fs in ramfs ext2; do
  : >"$work/write.t"; : >"$work/map.t"
  for _ in $(seq "$pairs"); do
    for mode in write map; do  # interleaved: the noise of a shared machine falls on both
      "$bin" $mode "$work/$fs/out.grd" "$records" >>"$work/$mode.t"
      rm "$work/$fs/out.grd"
    done
  done
  w=$(median <"$work/write.t"); m=$(median <"$work/map.t")
  echo "$fs: write() $w s, unreserved mapping $m s (median); write/map = $(echo "$w / $m" | bc -l | cut -c1-5)"
done

# The reference: what every run writes, on the test machine's own disk.
"$bin" write "$work/ref.grd" "$records" >/dev/null
for mode in write map; do
  mount -o loop "$work/small.img" "$work/full"
  rm -f "$work/full/out.grd"
  status=0; "$bin" $mode "$work/full/out.grd" "$records" >/dev/null 2>"$work/err" || status=$?
  said=$(stat -c %s "$work/full/out.grd")
  umount "$work/full" && mount -o loop "$work/small.img" "$work/full"
  size=$(stat -c %s "$work/full/out.grd")
  same=different; cmp -s -n "$size" "$work/ref.grd" "$work/full/out.grd" && same=intact
  whole=no; [ $(((size - 6) % 16)) -eq 0 ] && whole=yes
  echo "full ext2, $mode: status $status ($(tr -d '\n' <"$work/err")), $said bytes at the end of" \
    "the run, $size after a remount; records $same, whole records only: $whole"
  umount "$work/full"
done

{ printf 'ncols 2501\nnrows 2501\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n'
  for _ in $(seq 2501); do echo '2501*1.5'; done; } >"$work/in.asc"
run() {  # program folder: prints the seconds of a conversion into folder/out.grd
  local start=$(date +%s.%N)
  printf '%s\n%s\n1\n' "$work/in.asc" "$2/out.grd" | "$1" >/dev/null 2>"$work/err" || true
  echo "$(date +%s.%N) - $start" | bc -l
}
for fs in ramfs ext2; do
  : >"$work/this.t"; : >"$work/other.t"
  for _ in $(seq "$pairs"); do
    run "$program" "$work/$fs" >>"$work/this.t"; rm "$work/$fs/out.grd"
    [ -n "$other" ] && { run "$other" "$work/$fs" >>"$work/other.t"; rm "$work/$fs/out.grd"; }
  done
  t=$(median <"$work/this.t")
  line="$fs: the program, 2501 x 2501: $t s (median)"
  [ -n "$other" ] && line="$line; $other: $(median <"$work/other.t") s"
  echo "$line"
done
mount -o loop "$work/small.img" "$work/full" && rm -f "$work/full/out.grd"
printf '%s\n%s\n1\n' "$work/in.asc" "$work/full/out.grd" | "$program" >/dev/null 2>"$work/err" &&
  status=0 || status=$?
umount "$work/full" && mount -o loop "$work/small.img" "$work/full"
size=$(stat -c %s "$work/full/out.grd") head=$(head -n 5 "$work/full/out.grd" | wc -c)
echo "full ext2, the program: status $status, $(head -n 2 "$work/err" | tr -d '\r' | tr '\n' ' ')"
echo "  $size bytes after a remount, $(((size - head) % 16)) bytes past the last whole record," \
  "$(tr -cd '\0' <"$work/full/out.grd" | wc -c) zero bytes"
umount "$work/full"
