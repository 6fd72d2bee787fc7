"""The survey exports of a capture, read back by parsers that share nothing with the exporter:
Python's csv module (RFC 4180) and json module (GeoJSON), and an XML parser for the KML."""
import csv
import datetime
import io
import json
import subprocess
import sys
import xml.etree.ElementTree as ET

decoder, capture = sys.argv[1], sys.argv[2]


def export(fmt):
    run = subprocess.run([decoder, "--export", fmt, capture], capture_output=True, check=True)
    return run.stdout


failures = []


def check(what, ok):
    if not ok:
        failures.append(what)


rows = list(csv.DictReader(io.StringIO(export("csv").decode(), newline="")))
check("csv has rows", len(rows) > 1000)
check("csv columns", list(rows[0].keys()) == [
    "instrument_time", "gps_time", "latitude", "longitude", "altitude_m", "receiver", "mode",
    "frequency_mhz", "channel", "level_dbm", "marker", "fix_age_s"])
check("csv times in ISO 8601", all(
    datetime.datetime.fromisoformat(r["gps_time"].replace("Z", "+00:00")).tzinfo is not None and
    datetime.datetime.fromisoformat(r["instrument_time"]).tzinfo is None for r in rows))
check("csv fix ages", all(r["fix_age_s"] == "" or 0 <= int(r["fix_age_s"]) <= 5 for r in rows))
check("csv receivers", {r["receiver"] for r in rows} == {"1", "2"})
check("csv modes", {r["mode"] for r in rows} <= {"single", "scan", "table"})
check("csv levels", all(-256 <= int(r["level_dbm"]) < 0 for r in rows))
check("csv positions", all(54 < float(r["latitude"]) < 56 and -4 < float(r["longitude"]) < -3
                           for r in rows))

collection = json.loads(export("geojson"))
features = collection["features"]
check("geojson type", collection["type"] == "FeatureCollection")
check("geojson one feature per row", len(features) == len(rows))
for row, feature in zip(rows, features):
    lon, lat, height = feature["geometry"]["coordinates"]
    if (feature["geometry"]["type"] != "Point" or abs(lon - float(row["longitude"])) > 1e-7
            or abs(lat - float(row["latitude"])) > 1e-7
            or feature["properties"]["level_dbm"] != int(row["level_dbm"])
            or feature["properties"]["gps_time"] != row["gps_time"]
            or abs(feature["properties"]["altitude_m"] - float(row["altitude_m"])) > 1e-6):
        check("geojson longitude first, same values as the csv", False)
        break

kml = ET.fromstring(export("kml"))
ns = {"k": "http://www.opengis.net/kml/2.2"}
placemarks = kml.findall(".//k:Placemark", ns)
check("kml one placemark per row", len(placemarks) == len(rows))
first = placemarks[0].find("k:Point/k:coordinates", ns).text.split(",")
check("kml coordinates lon,lat,alt",
      abs(float(first[0]) - float(rows[0]["longitude"])) < 1e-7 and
      abs(float(first[1]) - float(rows[0]["latitude"])) < 1e-7)
check("kml styles", len(kml.findall(".//k:Style", ns)) == 8)
check("kml time stamps", placemarks[0].find("k:TimeStamp/k:when", ns).text == rows[0]["gps_time"])

if failures:
    print("export_readback: failed:", ", ".join(failures))
    sys.exit(1)
print(f"export_readback: {len(rows)} rows read back alike from csv, geojson and kml")
