"""The map exports of a simulated drive (two receivers, all three modes, the fix lost in every
cycle) read back through GDAL and checked against the levels the CSV export lists: every level
in the cell that holds its position, counts and extremes that add up, one fix point per fix and
channel, the gaps of the track; the KMZ opened as KML; and what vireon-decode refuses."""
import atexit
import collections
import csv
import math
import os
import shutil
import signal
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET
import zipfile

from osgeo import gdal, ogr, osr

gdal.UseExceptions()
bin_dir, drive_log, capture = (os.path.abspath(a) for a in sys.argv[1:4])
decoder = os.path.join(bin_dir, "vireon-decode")
work = tempfile.mkdtemp(prefix="vireon-coverage-")
atexit.register(shutil.rmtree, work, True)
log = os.path.join(work, "drive.KLF")
SECONDS, CYCLE, CELL = 600, 240, 25
subprocess.run([drive_log, log, str(SECONDS), str(CYCLE)], check=True)
failures = []


def check(what, ok):
    if not ok:
        failures.append(what)


def export(fmt, *more):
    out = os.path.join(work, "survey." + fmt)
    run = subprocess.run([decoder, "--export", fmt, "--out", out, *more, log],
                         capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"coverage_readback: --export {fmt} failed: {run.stderr}")
    return out, run.stderr


def channel_of(r):
    mhz = r["frequency_mhz"]
    return (int(r["receiver"]), r["mode"], int(r["channel"]),
            None if mhz in ("", None) else round(float(mhz), 4))


def time_text(value):
    """An OGR DateTime as the CSV writes it."""
    return value.replace("/", "-").replace(" ", "T").split(".")[0].split("+")[0] + "Z"


csv_path, _ = export("csv")
with open(csv_path, newline="") as f:
    levels = list(csv.DictReader(f))
check("the drive has levels of both receivers and all modes",
      {(r["receiver"], r["mode"]) for r in levels} ==
      {(a, b) for a in "12" for b in ("single", "scan", "table")})

gpkg_path, closing = export("gpkg")
gpkg = gdal.OpenEx(gpkg_path, gdal.OF_VECTOR)
names = {gpkg.GetLayer(k).GetName() for k in range(gpkg.GetLayerCount())}
check(f"layers {sorted(names)}", names == {"cells", "fix_levels", "track", "channels",
                                           "layer_styles"})
types = {"DateTime": ogr.OFTDateTime, "Integer": ogr.OFTInteger, "Real": ogr.OFTReal,
         "Integer64": ogr.OFTInteger64, "String": ogr.OFTString}
expected_fields = {
    "cells": "receiver:Integer mode:String channel:Integer frequency_mhz:Real count:Integer "
             "max_dbm:Integer min_dbm:Integer mean_dbm:Real median_dbm:Real "
             "first_time:DateTime last_time:DateTime",
    "fix_levels": "time:DateTime receiver:Integer mode:String channel:Integer "
                  "frequency_mhz:Real count:Integer max_dbm:Integer mean_dbm:Real "
                  "fix_age_s:Integer satellites:Integer",
    "track": "time:DateTime speed_kmh:Real gap:Integer",
    "channels": "receiver:Integer mode:String channel:Integer frequency_mhz:Real "
                "levels:Integer64 cells:Integer64 fix_points:Integer64",
}
for name, fields in expected_fields.items():
    defn = gpkg.GetLayerByName(name).GetLayerDefn()
    got = [(defn.GetFieldDefn(k).GetName(), defn.GetFieldDefn(k).GetType())
           for k in range(defn.GetFieldCount())]
    want = [(f.split(":")[0], types[f.split(":")[1]]) for f in fields.split()]
    check(f"{name} fields {got}", got == want)
cells_layer = gpkg.GetLayerByName("cells")
zone = cells_layer.GetSpatialRef()
check("cells in the UTM zone of the first fix (33N)", zone.GetAuthorityCode(None) == "32633")
for name in ("fix_levels", "track"):
    check(f"{name} in WGS 84",
          gpkg.GetLayerByName(name).GetSpatialRef().GetAuthorityCode(None) == "4326")
check("fix points with heights", gpkg.GetLayerByName("fix_levels").GetGeomType() ==
      ogr.wkbPoint25D)

# Each level, projected as the exporter projects it, falls in a cell of its channel; each cell's
# numbers are those of the levels that fall in it.
wgs84 = osr.SpatialReference()
wgs84.ImportFromEPSG(4326)
wgs84.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
zone.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
to_zone = osr.CoordinateTransformation(wgs84, zone)
expected = collections.defaultdict(list)
points = {}
positions = [(float(r["longitude"]), float(r["latitude"])) for r in levels]
for r, (lon, lat), (x, y, _) in zip(levels, positions, to_zone.TransformPoints(positions)):
    key = (channel_of(r), math.floor(x / CELL), math.floor(y / CELL))
    expected[key].append(int(r["level_dbm"]))
    points.setdefault(key, []).append((lon, lat, r["gps_time"]))
cells = {}
for f in cells_layer:
    env = f.GetGeometryRef().GetEnvelope()
    key = (channel_of(f), round(env[0] / CELL), round(env[2] / CELL))
    cells[key] = f
    if key in points and len(cells) % 50 == 1:
        square = f.GetGeometryRef().Clone()
        square.Transform(osr.CoordinateTransformation(zone, wgs84))
        lon, lat, _ = points[key][0]
        check("a cell's polygon contains its levels' positions",
              square.Buffer(1e-7).Contains(ogr.CreateGeometryFromWkt(f"POINT ({lon} {lat})")))
check(f"{len(cells)} cells for {len(expected)} places of levels", cells.keys() == expected.keys())
for key, values in expected.items():
    f = cells.get(key)
    if f is None:
        continue
    mean = 10 * math.log10(sum(10 ** (v / 10) for v in values) / len(values))
    times = sorted(t for _, _, t in points[key])
    if (f["count"] != len(values) or f["max_dbm"] != max(values) or f["min_dbm"] != min(values)
            or abs(f["median_dbm"] - statistics.median(values)) > 1e-9
            or abs(f["mean_dbm"] - mean) > 0.006 or time_text(f["first_time"]) != times[0]
            or time_text(f["last_time"]) != times[-1]):
        check(f"cell {key}: {f.items()} against {sorted(values)}", False)
        break
per_channel = collections.Counter(channel_of(r) for r in levels)
for f in gpkg.GetLayerByName("channels"):
    check(f"channel {channel_of(f)} counts", f["levels"] == per_channel[channel_of(f)])
check("one channel row per channel",
      gpkg.GetLayerByName("channels").GetFeatureCount() == len(per_channel))

# One fix point per fix and channel, holding the levels placed at that fix.
per_fix = collections.defaultdict(list)
for r in levels:
    per_fix[(r["gps_time"], channel_of(r))].append(int(r["level_dbm"]))
fix_points = {}
for f in gpkg.GetLayerByName("fix_levels"):
    fix_points[(time_text(f["time"]), channel_of(f))] = (f["count"], f["max_dbm"])
check(f"{len(fix_points)} fix points for {len(per_fix)} fixes and channels",
      fix_points == {k: (len(v), max(v)) for k, v in per_fix.items()})

# The track: a segment between consecutive fixes, a gap where the fix was lost in each cycle.
track = list(gpkg.GetLayerByName("track"))
gaps = [f for f in track if f["gap"]]
check(f"{len(gaps)} gaps in the track, one a cycle", len(gaps) == SECONDS // CYCLE + 1)
check("gaps start where the fix was lost",
      all(time_text(f["time"])[14:19] in ("01:29", "05:29", "09:29") for f in gaps))
check("speed in km/h", all(25 < f["speed_kmh"] < 75 for f in track))

style = gpkg.ExecuteSQL("SELECT f_table_name, useAsDefault, styleQML FROM layer_styles")
rows = [(f["f_table_name"], f["useAsDefault"], f["styleQML"]) for f in style]
gpkg.ReleaseResultSet(style)
check("a default style for cells by max_dbm",
      len(rows) == 1 and rows[0][:2] == ("cells", 1) and 'attr="max_dbm"' in rows[0][2])
check("the closing line counts cells and stale levels",
      f"into {len(cells)} cell(s)" in closing and "with a fix older than 5 s skipped" in closing)

# Each map layer's spatial index is whole and finds what lies in a window as a full scan does.
for name in ("cells", "fix_levels", "track"):
    layer = gpkg.GetLayerByName(name)
    boxes = {f.GetFID(): f.GetGeometryRef().GetEnvelope() for f in layer}
    x0, x1, y0, y1 = layer.GetExtent()
    a, b, c, d = boxes[sorted(boxes)[len(boxes) // 2]]
    dx, dy = (x1 - x0) / 20, (y1 - y0) / 20
    window = (a - dx, b + dx, c - dy, d + dy)
    layer.SetSpatialFilterRect(window[0], window[2], window[1], window[3])
    found = {f.GetFID() for f in layer}
    layer.SetSpatialFilter(None)
    inside = {fid for fid, (a, b, c, d) in boxes.items()
              if a <= window[1] and b >= window[0] and c <= window[3] and d >= window[2]}
    check(f"{name}: the index finds {len(found)} in a window, as a scan does",
          layer.TestCapability(ogr.OLCFastSpatialFilter) and found == inside and inside)
gpkg = None
with sqlite3.connect(gpkg_path) as db:
    check("the spatial indexes are sound", all(
        db.execute(f"SELECT rtreecheck('rtree_{name}_geom')").fetchone()[0] == "ok"
        for name in ("cells", "fix_levels", "track")))
db.close()

# --levels adds one point per level.
levels_path, _ = export("gpkg", "--levels", "--cell", "100")
with_levels = gdal.OpenEx(levels_path, gdal.OF_VECTOR)
layer = with_levels.GetLayerByName("levels")
check("--levels: a point per level", layer is not None and layer.GetFeatureCount() == len(levels))
with_levels = layer = None

# The KMZ: KML first, a folder per channel with a placemark per cell, the drive, the legend.
kmz_path, _ = export("kmz")
with zipfile.ZipFile(kmz_path) as kmz:
    check("doc.kml first, then the legend", kmz.namelist() == ["doc.kml", "legend.png"])
    kml = ET.fromstring(kmz.read("doc.kml"))
ns = {"k": "http://www.opengis.net/kml/2.2"}
folders = kml.findall("k:Document/k:Folder", ns)
by_name = {f.find("k:name", ns).text: f for f in folders}
cells_per_channel = collections.Counter(key[0] for key in cells)
check(f"{len(folders)} folders: the track and one per channel",
      len(folders) == len(cells_per_channel) + 1 and "Track" in by_name)
check("a placemark per cell, with time spans", sum(
    len(f.findall("k:Placemark/k:TimeSpan", ns)) for n, f in by_name.items() if n != "Track")
      == len(cells))
check("the drive as lines broken at the gaps",
      len(by_name["Track"].findall("k:Placemark/k:LineString", ns)) == len(gaps) + 1)
check("the legend on the screen",
      kml.find("k:Document/k:ScreenOverlay/k:Icon/k:href", ns).text == "legend.png")

# Refusals: vireon-decode's usage, the exporter missing, outputs that must not be written.
alone = os.path.join(work, "alone")
os.mkdir(alone)
shutil.copy(decoder, alone)
refusals = [
    ([decoder, "--export", "gpkg", log], None, "needs --out FILE"),
    ([decoder, "--export", "csv", "--cell", "50", log], None, "--cell needs --export gpkg or kmz"),
    ([decoder, "--export", "kmz", "--levels", "--out", "x.kmz", log], None, "--levels needs"),
    ([decoder, "--export", "gpkg", "--cell", "0.5", "--out", "x.gpkg", log], None, "--cell needs"),
    ([os.path.join(alone, "vireon-decode"), "--export", "gpkg", "--out", "x.gpkg", log],
     {"PATH": "/nonexistent"}, "the package vireon-data-logger-export brings"),
    ([decoder, "--export", "gpkg", "--out", log, log], None, "is the input"),
    ([decoder, "--export", "kmz", "--out", "/dev/null", log], None, "is a device or a pipe"),
]
for args, env, says in refusals:
    run = subprocess.run(args, capture_output=True, text=True, cwd=work,
                         env=dict(os.environ, **env) if env else None)
    check(f"{args[1:]}: exit {run.returncode}, {run.stderr!r}",
          run.returncode == 2 and says in run.stderr)

# Stopped mid-run: neither the final name nor the private folder stays.
fifo = os.path.join(work, "slow.bin")
os.mkfifo(fifo)
final = os.path.join(work, "stopped.gpkg")
proc = subprocess.Popen([decoder, "--export", "gpkg", "--out", final, fifo],
                        stderr=subprocess.PIPE)
with open(fifo, "wb") as feed, open(capture, "rb") as data:
    feed.write(data.read())
    feed.flush()
    time.sleep(0.5)
    proc.send_signal(signal.SIGTERM)
    proc.wait(timeout=10)
left = [n for n in os.listdir(work) if "stopped" in n]
check(f"SIGTERM mid-run: status {proc.returncode}, left {left}",
      proc.returncode == -signal.SIGTERM and not left)

if failures:
    print("coverage_readback: failed:\n  " + "\n  ".join(failures))
    sys.exit(1)
print(f"coverage_readback: {len(levels)} levels in {len(cells)} cells and "
      f"{len(fix_points)} fix points read back as exported")
