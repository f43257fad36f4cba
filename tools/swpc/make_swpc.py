#!/usr/bin/python3
"""Lays out a stand-in for NOAA SWPC's public GOES X-ray files, for tests and trying things out.

    make_swpc.py ROOT [--now ISO] [--seed N]

ROOT gets the three files at the paths of the real host (https://services.swpc.noaa.gov):

  json/goes/primary/xrays-1-day.json         one-minute X-ray flux, 1440 samples per satellite and
                                             energy for the day up to --now (default: now), two
                                             satellites (GOES-18, whose samples are newest, and GOES-16,
                                             two minutes behind), both channels (0.05-0.4nm and
                                             0.1-0.8nm), with the gaps and oddities real data has
  json/goes/primary/xray-flares-7-day.json   the flares of the last 7 days, among them one still in
                                             progress (null and "Unk" where nothing is known yet, as SWPC
                                             writes it), one listed by both satellites, one malformed
                                             element and one absurd class
  json/solar_regions.json                    numbered active regions with positions

The flux follows the flares: each flare listed adds its profile to a quiet B-level background, so the
X-ray level and the list agree. ROOT/.work/truth.json records what a careful reader takes from the files:
the primary satellite, the newest long-channel sample and its class, the readable flares (begin, peak,
class) and the counts by class of the last 48 hours.
"""

import argparse
import datetime
import json
import math
import os
import random

LONG = "0.1-0.8nm"
SHORT = "0.05-0.4nm"
PRIMARY = 18
SECONDARY = 16
BASES = [("A", 1e-8), ("B", 1e-7), ("C", 1e-6), ("M", 1e-5), ("X", 1e-4)]


def parse_iso(text):
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=datetime.timezone.utc)


def iso(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%SZ")


def flux_of(flare_class):
    for letter, base in BASES:
        if flare_class[0] == letter:
            return float(flare_class[1:]) * base
    raise ValueError(flare_class)


def class_of(flux):
    band = 0
    while band + 1 < len(BASES) and flux >= BASES[band + 1][1]:
        band += 1
    tenths = round(flux / BASES[band][1] * 10)
    if tenths >= 100 and band + 1 < len(BASES):
        band += 1
        tenths = round(flux / BASES[band][1] * 10)
    return "%s%.1f" % (BASES[band][0], max(tenths, 1) / 10)


# The flares, by hours before --now: begin, peak and end offsets in minutes from the begin, and the
# maximum class. A peak or end of None: the flare is still rising or still in progress.
FLARES = [
    (150.0, 14, 30, "C3.0"),   # four days ago: in the 7 days, not in the 48 hours
    (40.5, 9, 25, "C2.1"),
    (30.2, 12, 40, "M1.2"),
    (20.0, 6, 18, "C4.5"),
    (12.4, 15, 55, "X1.3"),
    (10.0, 5, 12, "B5.0"),     # A and B flares are listed too
    (6.1, 11, 35, "M6.2"),     # strong enough to announce
    (3.0, 8, 20, "C1.8"),
    (1.5, 14, 40, "M2.4"),
    (0.2, None, None, "M1.4"), # in progress: SWPC knows only its begin and the level now
]


def profile(minutes, begin, peak_minutes, end_minutes, peak_flux, now_minutes):
    """The flare's own flux `minutes` after the day's first sample."""
    t = minutes - begin
    if t < 0:
        return 0.0
    rise = peak_minutes if peak_minutes is not None else max(now_minutes - begin, 1) * 1.5
    if t <= rise:
        return peak_flux * math.sin(0.5 * math.pi * t / rise) ** 2
    decay = (end_minutes - rise) / 2.5 if end_minutes is not None else 20.0
    return peak_flux * math.exp(-(t - rise) / max(decay, 1.0))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--now", default=None)
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()
    now = parse_iso(args.now) if args.now else datetime.datetime.now(datetime.timezone.utc)
    now = now.replace(second=0, microsecond=0)
    rng = random.Random(args.seed)

    flares = []
    for hours_ago, peak, end, flare_class in FLARES:
        begin = now - datetime.timedelta(minutes=round(hours_ago * 60))
        flares.append({"begin": begin, "peak": peak, "end": end, "class": flare_class})

    # The flux: a slowly wandering B-level background plus every flare's profile.
    first = now - datetime.timedelta(minutes=1439)
    now_minutes = 1439.0
    samples = []
    level_now = {}
    for satellite, lag in ((PRIMARY, 0), (SECONDARY, 2)):
        for energy, scale in ((SHORT, 0.08), (LONG, 1.0)):
            for minute in range(1440):
                # The secondary's newest minutes have not arrived yet: its day ends `lag` minutes earlier.
                moment = first + datetime.timedelta(minutes=minute - lag)
                background = 4e-7 * (1 + 0.4 * math.sin(minute / 170.0)) * (1 + rng.uniform(-0.03, 0.03))
                total = background
                for flare in flares:
                    begin_minutes = (flare["begin"] - first).total_seconds() / 60
                    end = flare["end"] if flare["end"] is not None else None
                    total += profile(minute - lag, begin_minutes, flare["peak"], end, flux_of(flare["class"]),
                                     now_minutes)
                flux = total * scale * (1.02 if satellite == SECONDARY else 1.0)
                element = {"time_tag": iso(moment), "satellite": satellite, "flux": flux,
                           "observed_flux": flux * 1.01, "electron_correction": 0.0,
                           "electron_contaminaton": False, "energy": energy}
                samples.append(element)
                if energy == LONG and satellite == PRIMARY:
                    level_now = {"time": iso(moment), "flux": flux}
    # What real data holds now and then: a missing reading, an impossible one, one of another kind.
    samples.insert(100, {"time_tag": iso(first + datetime.timedelta(minutes=3)), "satellite": PRIMARY,
                         "flux": None, "energy": LONG})
    samples.insert(200, {"time_tag": iso(first + datetime.timedelta(minutes=4)), "satellite": PRIMARY,
                         "flux": -99999.0, "energy": LONG})
    samples.insert(300, {"time_tag": "yesterday", "satellite": PRIMARY, "flux": 1e-6, "energy": LONG})
    samples.insert(400, ["not", "a", "sample"])

    # The flares as the list gives them: the real file's fields. A flare in progress has "Unk" for the
    # times SWPC does not know yet and null for its maximum; its class so far is the larger of the class
    # it began with and the class now.
    current_class = class_of(level_now["flux"])
    listed = []
    truth_flares = []
    for flare in flares:
        begin = flare["begin"]
        peak = begin + datetime.timedelta(minutes=flare["peak"]) if flare["peak"] is not None else None
        end = begin + datetime.timedelta(minutes=flare["end"]) if flare["end"] is not None else None
        begin_flux = flux_of(flare["class"]) * 0.12 + 4e-7
        begin_class = class_of(begin_flux)
        done = end is not None
        element = {
            "time_tag": iso(end if done else now),
            "satellite": PRIMARY,
            "current_class": class_of(flux_of(flare["class"]) * 0.5) if done else current_class,
            "current_ratio": 0.05,
            "current_int_xrlong": 0.01,
            "begin_time": iso(begin),
            "begin_class": begin_class,
            "max_time": iso(peak) if done else "Unk",
            "max_class": flare["class"] if done else None,
            "max_xrlong": flux_of(flare["class"]) if done else None,
            "end_time": iso(end) if done else "Unk",
            "max_ratio_time": iso(peak) if done else "Unk",
            "max_ratio": 0.05 if done else None,
            "end_class": class_of(flux_of(flare["class"]) * 0.5) if done else None,
        }
        listed.append(element)
        so_far = current_class if flux_of(current_class) > begin_flux else begin_class
        truth_flares.append({"begin": iso(begin), "peak": iso(peak) if done else None,
                             "class": flare["class"] if done else so_far, "in_progress": not done})
    # The same flare seen by the other satellite, a little brighter: the record keeps one of them.
    twin = dict(listed[3])
    twin["satellite"] = SECONDARY
    twin["max_class"] = "C4.7"
    listed.insert(4, twin)
    # A malformed element and an absurd class, which a careful reader skips.
    listed.insert(2, {"begin_time": 1733650000, "max_class": ["M1.0"], "satellite": "sixteen"})
    absurd = now - datetime.timedelta(hours=8)
    listed.insert(6, {"time_tag": iso(absurd), "begin_time": iso(absurd), "begin_class": "C1.0",
                      "max_time": iso(absurd + datetime.timedelta(minutes=5)), "max_class": "X999.9",
                      "max_xrlong": 1.0, "end_time": iso(absurd + datetime.timedelta(minutes=9)),
                      "end_class": "C1.0", "satellite": PRIMARY})

    regions = []
    for number, (latitude, longitude, area, spots) in enumerate(
            [(-18, 30, 1200, "Fkc"), (12, -45, 340, "Dai"), (-7, 62, 80, "Cro"), (22, 5, 150, "Dso")]):
        regions.append({"observed_date": now.strftime("%Y-%m-%d"), "region": 13900 + number,
                        "latitude": latitude, "longitude": longitude,
                        "location": "%s%02d%s%02d" % ("S" if latitude < 0 else "N", abs(latitude),
                                                      "E" if longitude < 0 else "W", abs(longitude)),
                        "area": area, "spot_class": spots, "number_spots": 3 + number * 4,
                        "mag_class": "BG" if number == 0 else "B",
                        "c_xray_events": 2, "m_xray_events": 1 if number == 0 else 0, "x_xray_events": 0,
                        "c_flare_probability": 60, "m_flare_probability": 25, "x_flare_probability": 5,
                        "first_date": (now - datetime.timedelta(days=number + 2)).strftime("%Y-%m-%d")})

    folder = os.path.join(args.root, "json", "goes", "primary")
    os.makedirs(folder, exist_ok=True)
    for path, document in ((os.path.join(folder, "xrays-1-day.json"), samples),
                           (os.path.join(folder, "xray-flares-7-day.json"), listed),
                           (os.path.join(args.root, "json", "solar_regions.json"), regions)):
        with open(path + ".part", "w") as f:
            json.dump(document, f)
        os.replace(path + ".part", path)

    recent = [f for f in truth_flares if parse_iso(f["peak"] or f["begin"]) >= now - datetime.timedelta(hours=48)]
    counts = {letter: sum(1 for f in recent if f["class"][0] == letter) for letter in "CMX"}
    os.makedirs(os.path.join(args.root, ".work"), exist_ok=True)
    with open(os.path.join(args.root, ".work", "truth.json"), "w") as f:
        json.dump({"now": iso(now), "primary": PRIMARY, "latest": level_now,
                   "latest_class": class_of(level_now["flux"]), "flares": truth_flares,
                   "counts_48h": counts}, f, indent=1)


if __name__ == "__main__":
    main()
