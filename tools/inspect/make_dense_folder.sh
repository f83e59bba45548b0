#!/usr/bin/env bash
# Builds a simulator folder whose map holds 600 stations within 150 nm of Chicago-O'Hare, for the
# size and time of a dense weather view page: the stations of the real station list there (their
# reports are in the real cycle files) and, as the simulator's own map does between airports,
# grid stations without a report of their own filling the rest, nearest first.
# usage: make_dense_folder.sh MAPWRITER STATION_LIST OUT_DIR
set -euo pipefail
mapwriter=$1
list=$2
out=$3
rm -rf "$out"
mkdir -p "$out/Altivane/stations" "$out/Weather"
ln -s "$(realpath "$list")" "$out/Altivane/stations/station.txt"
lat0=41.98
lon0=-87.90
awk -F';' -v lat0=$lat0 -v lon0=$lon0 '
  function coord(f,   parts, n, i, v) {
    gsub(/[NSEW]/, "-&", f); n = split(f, parts, /[-NSEW]+/); v = 0
    for (i = 1; i <= n && i <= 3; i++) if (parts[i] != "") v += parts[i] / (60 ^ (i - 1))
    return v
  }
  function nm(lat, lon,   x, y) {
    x = cos((lat + lat0) / 2 * 3.14159265 / 180) * (lon - lon0) * 60; y = (lat - lat0) * 60
    return sqrt(x * x + y * y)
  }
  $3 != "----" && $12 != "" {
    lat = coord($8); if ($8 !~ /N/) lat = -lat
    lon = coord($9); if ($9 !~ /E/) lon = -lon
    if (nm(lat, lon) <= 148) printf "%.3f %s;%.4f;%.4f;%d;%s\n", nm(lat, lon), $3, lat, lon, $12, $4
  }
  END {
    n = 0
    for (i = -30; i <= 30; i++) for (j = -40; j <= 40; j++) {
      lat = lat0 + i * 0.09; lon = lon0 + j * 0.12
      if (nm(lat, lon) <= 148) printf "%.3f X%03d;%.4f;%.4f;200;grid station %d\n", nm(lat, lon) + 0.001, n % 1000, lat, lon, n++
    }
  }' "$list" | sort -n | awk 'NR <= 600' | cut -d' ' -f2- >"$out/wxmapping.txt"
"$mapwriter" --longitudes-0-360 "$out/wxmapping.txt" "$out/Weather/wxmapping.bin"
wc -l <"$out/wxmapping.txt"
