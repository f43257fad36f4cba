#!/usr/bin/python3
"""Lays out a stand-in for NOAA SWPC's public GOES X-ray files, for tests and trying things out.

    make_swpc.py ROOT [--now ISO] [--seed N] [--storm G]

ROOT gets the files at the paths of the real host (https://services.swpc.noaa.gov):

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
  products/noaa-planetary-k-index.json       the 3-hourly planetary K index of the last week
  json/planetary_k_index_1m.json             one-minute Kp estimates of the last six hours
  products/noaa-scales.json                  NOAA's R, S and G scales now, yesterday and the forecast
  products/geospace/propagated-solar-wind-1-hour.json
                                             the solar wind near Earth in the last hour

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


def kp_code(kp):
    """The one-minute product's Kp text: "5M" for 5- (4.67), "5Z" for 5, "5P" for 5+ (5.33)."""
    thirds = round(kp * 3)
    whole = (thirds + 1) // 3
    return "%d%s" % (whole, {-1: "M", 0: "Z", 1: "P"}[thirds - whole * 3])


def r_scale(flux):
    for level, floor in ((5, 2e-3), (4, 1e-3), (3, 1e-4), (2, 5e-5), (1, 1e-5)):
        if flux >= floor:
            return level
    return 0


SCALE_WORDS = ["none", "minor", "moderate", "strong", "severe", "extreme"]


def geomagnetic(now, storm, xray_flux, rng):
    """The planetary K index (3-hourly for a week and one-minute estimates for six hours), NOAA's scales
    and the solar wind near Earth, in SWPC's shapes: the K index as objects with numbers, the scales with
    every number as text and null where a forecast states none, the solar wind as a table whose first row
    names the columns, with a gap and a missing speed. A storm of level `storm` builds over the last nine
    hours and is at its height now."""
    storm_kp = storm + 4 - 1.0 / 3 if storm else 3.0
    interval_now = now.replace(hour=now.hour - now.hour % 3, minute=0)
    kp_rows = []
    for back in range(60, -1, -1):
        start = interval_now - datetime.timedelta(hours=3 * back)
        if back <= 2 and storm:
            kp = storm_kp - back * 1.0
        else:
            kp = round((1.0 + 1.5 * (1 + math.sin(back / 5.0)) + rng.uniform(-0.4, 0.4)) * 3) / 3
        kp_rows.append({"time_tag": start.strftime("%Y-%m-%dT%H:%M:%S"), "Kp": round(max(kp, 0.0), 2),
                        "a_running": int(4 * 2 ** max(kp, 0.0) / 2), "station_count": 8})
    kp_minutes = []
    for back in range(359, -1, -1):
        moment = now - datetime.timedelta(minutes=back + 2)
        estimate = round(max(storm_kp - back / 120.0, 0.0) * 3) / 3
        kp_minutes.append({"time_tag": moment.strftime("%Y-%m-%dT%H:%M:%S"), "kp_index": int(round(estimate)),
                           "estimated_kp": round(estimate, 2), "kp": kp_code(estimate)})
    kp_minutes[100]["estimated_kp"] = None  # a minute SWPC could not estimate
    kp_minutes[100]["kp_index"] = None
    stamp = {"DateStamp": now.strftime("%Y-%m-%d"), "TimeStamp": now.strftime("%H:%M:%S")}
    r_now = r_scale(xray_flux)

    def day(offset, r, s, g, forecast):
        entry = {"DateStamp": (now + datetime.timedelta(days=offset)).strftime("%Y-%m-%d"),
                 "TimeStamp": now.strftime("%H:%M:%S") if offset <= 0 else "00:00:00"}
        if forecast:
            entry["R"] = {"Scale": None, "Text": None, "MinorProb": "35", "MajorProb": "5"}
            entry["S"] = {"Scale": None, "Text": None, "Prob": "5"}
        else:
            entry["R"] = {"Scale": str(r), "Text": SCALE_WORDS[r], "MinorProb": None, "MajorProb": None}
            entry["S"] = {"Scale": str(s), "Text": SCALE_WORDS[s], "Prob": None}
        entry["G"] = {"Scale": str(g), "Text": SCALE_WORDS[g]}
        return entry

    scales = {"0": day(0, r_now, 0, storm, False), "1": day(0, 0, 0, max(storm - 1, 0), True),
              "2": day(1, 0, 0, 0, True), "3": day(2, 0, 0, 0, True),
              "-1": day(-1, 1, 0, max(storm - 1, 0), False)}
    scales["1"].update(stamp)
    wind = [["time_tag", "speed", "density", "temperature", "bx", "by", "bz", "bt", "vx", "vy", "vz",
             "propagated_time_tag"]]
    speed = 420.0 + 80 * storm
    bz = -2.0 - 3.0 * storm
    for back in range(60, 4, -1):
        moment = now - datetime.timedelta(minutes=back)
        if back == 30:
            continue  # a minute the spacecraft did not send
        v = round(speed + rng.uniform(-8, 8), 1)
        row = [moment.strftime("%Y-%m-%dT%H:%M:%SZ"), v, round(4.0 + storm + rng.uniform(-0.5, 0.5), 2),
               round(90000 + 20000 * storm + rng.uniform(-5000, 5000), 0), 2.1, -1.4,
               round(bz + rng.uniform(-0.8, 0.8), 2), round(abs(bz) + 3.0, 2), -v, 12.0, -3.0,
               (moment + datetime.timedelta(seconds=1.5e6 / v)).strftime("%Y-%m-%dT%H:%M:%SZ")]
        wind.append(row)
    wind[-1][1] = None  # the newest minute came without a speed: the reading is the one before it
    newest = wind[-2]
    truth = {"storm": storm, "kp_latest": kp_minutes[-1]["estimated_kp"], "kp_latest_time":
             kp_minutes[-1]["time_tag"] + "Z", "kp_newest_interval": kp_rows[-1]["time_tag"] + "Z",
             "kp_max_24h": max([r["Kp"] for r in kp_rows[-8:]] + [kp_minutes[-1]["estimated_kp"]]),
             "scales": {"R": r_now, "S": 0, "G": storm, "time": now.strftime("%Y-%m-%dT%H:%M:%SZ")},
             "wind": {"time": newest[0], "speed": newest[1], "density": newest[2], "bz": newest[6]}}
    return kp_rows, kp_minutes, scales, wind, truth


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--now", default=None)
    parser.add_argument("--seed", type=int, default=7)
    parser.add_argument("--storm", type=int, default=1, choices=range(6),
                        help="the NOAA G level of the geomagnetic storm under way (0: none)")
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

    kp_rows, kp_minutes, scales, wind, geo_truth = geomagnetic(now, args.storm, level_now["flux"], rng)

    folder = os.path.join(args.root, "json", "goes", "primary")
    for path, document in ((os.path.join(folder, "xrays-1-day.json"), samples),
                           (os.path.join(folder, "xray-flares-7-day.json"), listed),
                           (os.path.join(args.root, "json", "solar_regions.json"), regions),
                           (os.path.join(args.root, "products", "noaa-planetary-k-index.json"), kp_rows),
                           (os.path.join(args.root, "json", "planetary_k_index_1m.json"), kp_minutes),
                           (os.path.join(args.root, "products", "noaa-scales.json"), scales),
                           (os.path.join(args.root, "products", "geospace", "propagated-solar-wind-1-hour.json"),
                            wind)):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path + ".part", "w") as f:
            json.dump(document, f)
        os.replace(path + ".part", path)

    recent = [f for f in truth_flares if parse_iso(f["peak"] or f["begin"]) >= now - datetime.timedelta(hours=48)]
    counts = {letter: sum(1 for f in recent if f["class"][0] == letter) for letter in "CMX"}
    os.makedirs(os.path.join(args.root, ".work"), exist_ok=True)
    with open(os.path.join(args.root, ".work", "truth.json"), "w") as f:
        json.dump({"now": iso(now), "primary": PRIMARY, "latest": level_now,
                   "latest_class": class_of(level_now["flux"]), "flares": truth_flares,
                   "counts_48h": counts, "geomagnetic": geo_truth}, f, indent=1)


if __name__ == "__main__":
    main()
