#!/usr/bin/env python3
"""Derives Altivane's world station list from NOAA's station list nsd_cccc.txt.

    derive_station_list.py NSD_CCCC.TXT OUT.TXT    write the list
    derive_station_list.py --check NSD_CCCC.TXT OUT.TXT    exit 1 when OUT.TXT differs from what would be written

nsd_cccc.txt is ICAO first:
    KSEA;72;793;Seattle, ...;WA;United States;4;47-26-41N;122-18-49W;47-26-37N;122-18-07W;130;136;P
the program reads the WMO index first, the rest in the same order:
    72;793;KSEA;Seattle, ...;WA;United States;4;47-26-41N;122-18-49W;47-26-37N;122-18-07W;130;136;P
Every line is written with 14 fields and CR LF. Two kinds of damaged lines in NOAA's file are
repaired; lines the program could not use are left out; anything else that does not parse stops
the tool, so a new NOAA file is looked at before it ships.
"""
import re
import sys

FIELDS = 14  # block;station;ICAO;name;state;country;region;lat;lon;ua lat;ua lon;elev;ua elev;RBSN
LAT = re.compile(r"^\d{1,2}-\d{1,2}(-\d{1,2})?[NS]$")
LON = re.compile(r"^\d{1,3}-\d{1,2}(-\d{1,2})?[EW]$")
ELEVATION = re.compile(r"^-?\d+$")
REGION = re.compile(r"^\d$")


def coordinate_ok(text, pattern, limit):
    """70-56N, 008-40W, 51-28-39N: inside the limit, minutes and seconds below 60."""
    if not pattern.match(text):
        return False
    parts = [int(p) for p in text[:-1].split("-")]
    return parts[0] <= limit and all(p < 60 for p in parts[1:])


def repair(f):
    """Mends the damage in NOAA's file that has one sound reading; returns what was done."""
    done = []
    # "Cairo, Cairo Regional Airport,IL;United States;4;37-03-52N;...": the state is in the name
    # and everything after it one field early.
    if len(f) > 7 and REGION.match(f[5]) and LAT.match(f[6].replace(" ", "")):
        name, _, state = f[3].rpartition(",")
        if not re.fullmatch(r"[A-Z]{2}", state.strip()):
            name, state = f[3], ""
        f[3:4] = [name.rstrip(), state.strip()]
        done.append("state split from the name")
    f += [""] * (FIELDS - len(f))
    # "...;50-12N;104-42W;;580;;": the elevation stands in the upper-air longitude.
    if f[9] == "" and ELEVATION.match(f[10]) and f[11] == "" and f[12] == "":
        f[10], f[11] = "", f[10]
        done.append("elevation moved out of the upper-air longitude")
    # " 094-18-25W", "32-21-  N": the program reads a number only where a part begins with it.
    for i in range(7, 11):
        if " " in f[i]:
            f[i] = re.sub(r"-([NSEW])$", r"\1", f[i].replace(" ", ""))
            done.append("blanks taken out of a coordinate")
    # An upper-air longitude without its latitude, the station's own longitude repeated: the
    # sounding is made at the station. Read as it stands it would lie on the equator.
    if f[9] == "" and f[10] != "":
        if f[10] == f[8]:
            f[9] = f[7]
            done.append("upper-air latitude taken from the station")
        else:
            f[10] = ""
            done.append("half an upper-air position dropped")
    return done


def derive(source_bytes):
    """Returns (list bytes, notes)."""
    out = []
    notes = []
    left_out = []
    lines = source_bytes.decode("ascii").replace("\r\n", "\n").replace("\r", "\n").split("\n")
    for number, line in enumerate(lines, 1):
        if line == "":
            continue
        f = line.split(";")
        for fixed in repair(f):
            notes.append(f"line {number} ({f[0]}): {fixed}")
        if any(f[FIELDS:]):
            raise ValueError(f"line {number}: more than {FIELDS} fields: {line}")
        f = f[:FIELDS]
        icao, block, station = f[0], f[1], f[2]
        if not re.fullmatch(r"[A-Z0-9]{4}", icao):
            raise ValueError(f"line {number}: no ICAO indicator: {line}")
        if not (re.fullmatch(r"\d{2}", block) and re.fullmatch(r"\d{3}", station)) and (block, station) != ("--", "---"):
            raise ValueError(f"line {number}: bad WMO index: {line}")
        if any(f[i] and not ELEVATION.match(f[i]) for i in (11, 12)):
            raise ValueError(f"line {number}: bad elevation: {line}")
        # A position that cannot be right ("35-12E" as a latitude, 87 minutes) would put the
        # station somewhere else on the globe.
        if not coordinate_ok(f[7], LAT, 90) or not coordinate_ok(f[8], LON, 180) or (
                f[9] and not (coordinate_ok(f[9], LAT, 90) and coordinate_ok(f[10], LON, 180))):
            left_out.append(f"{icao} (position {f[7]} {f[8]} {f[9]} {f[10]})".replace("  ", " ").rstrip())
            continue
        # Without a WMO index and an elevation the program keys the station "-----", shared by
        # all such lines: it could take neither a surface report nor a sounding.
        if block == "--" and f[11] == "":
            left_out.append(f"{icao} (no WMO index, no elevation)")
            continue
        # Names end in blanks in NOAA's file.
        f[3] = f[3].rstrip()
        out.append(";".join([block, station, icao] + f[3:]) + "\r\n")
    notes.append(f"{len(left_out)} stations left out: {', '.join(left_out)}")
    notes.append(f"{len(out)} stations written")
    return "".join(out).encode("ascii"), notes


def main(argv):
    check = len(argv) > 1 and argv[1] == "--check"
    args = argv[2:] if check else argv[1:]
    if len(args) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    try:
        with open(args[0], "rb") as source:
            derived, notes = derive(source.read())
    except FileNotFoundError:
        print(f"{args[0]} not found", file=sys.stderr)
        return 77
    if check:
        try:
            with open(args[1], "rb") as existing:
                same = existing.read() == derived
        except OSError:
            same = False
        if not same:
            print(f"{args[1]} is not what {args[0]} gives: run {argv[0]} {args[0]} {args[1]}", file=sys.stderr)
            return 1
        print(f"{args[1]}: up to date ({notes[-1]})")
        return 0
    with open(args[1], "wb") as target:
        target.write(derived)
    for note in notes:
        print(note)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
