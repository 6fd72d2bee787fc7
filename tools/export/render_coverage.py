#!/usr/bin/python3
"""Draws what a coverage GeoPackage holds, offline, with the colours and classes of the style it
carries for QGIS:
  render_coverage.py legend SURVEY.gpkg OUT.png   the legend of the style (built into the KMZ)
  render_coverage.py map SURVEY.gpkg OUT.png      one channel's cells with the drive and legend
The map shows the scan channel whose cells take the most colours, unless --channel 'R M C'
(receiver, mode, channel) names another. Uses Debian's python3-gdal and python3-pil."""
import re
import sys

from osgeo import gdal, ogr, osr
from PIL import Image, ImageDraw, ImageFont

gdal.UseExceptions()
FONT = "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"
BOLD = "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf"


def style_classes(gpkg):
    """The classes of the cells layer's default style: (lower, upper, (r, g, b), label)."""
    sql = gpkg.ExecuteSQL("SELECT styleQML FROM layer_styles WHERE f_table_name = 'cells' "
                          "AND useAsDefault")
    qml = next(iter(sql))["styleQML"]
    gpkg.ReleaseResultSet(sql)
    colours = {m[0]: tuple(int(v) for v in m[1].split(",")[:3]) for m in re.findall(
        r'<symbol type="fill" name="(\d+)".*?name="color" type="QString" value="([\d,]+)"', qml,
        re.S)}
    return [(float(lo), float(hi), colours[sym], label) for lo, hi, sym, label in re.findall(
        r'<range lower="([-\d.]+)" upper="([-\d.]+)" symbol="(\d+)" label="([^"]*)"', qml)]


def colour_of(classes, value):
    for lo, hi, rgb, _ in classes:
        if lo <= value <= hi:
            return rgb
    return (128, 128, 128)


def legend(classes):
    font = ImageFont.truetype(FONT, 13)
    title = ImageFont.truetype(BOLD, 13)
    row, swatch = 20, (26, 14)
    image = Image.new("RGBA", (170, 34 + row * len(classes)), (255, 255, 255, 230))
    draw = ImageDraw.Draw(image)
    draw.text((8, 7), "Strongest level", font=title, fill=(0, 0, 0, 255))
    for k, (_, _, rgb, label) in enumerate(reversed(classes)):
        y = 28 + row * k
        draw.rectangle([8, y, 8 + swatch[0] - 1, y + swatch[1] - 1], fill=rgb + (255,))
        draw.text((8 + swatch[0] + 8, y - 1), label, font=font, fill=(0, 0, 0, 255))
    return image


def pick_channel(gpkg, classes, wanted):
    if wanted:
        receiver, mode, channel = wanted.split()
        return int(receiver), mode, int(channel)
    colours = {}
    for f in gpkg.GetLayerByName("cells"):
        key = (f["receiver"], f["mode"], f["channel"])
        colours.setdefault(key, set()).add(colour_of(classes, f["max_dbm"]))
    scans = [k for k in colours if k[1] == "scan"] or list(colours)
    return max(scans, key=lambda k: (len(colours[k]), k))


def coverage_map(gpkg, out, wanted):
    classes = style_classes(gpkg)
    receiver, mode, channel = pick_channel(gpkg, classes, wanted)
    layer = gpkg.GetLayerByName("cells")
    layer.SetAttributeFilter(f"receiver = {receiver} AND mode = '{mode}' AND channel = {channel}")
    cells = [(f.GetGeometryRef().GetEnvelope(), f["max_dbm"], f["frequency_mhz"]) for f in layer]
    zone = layer.GetSpatialRef()
    wgs84 = osr.SpatialReference()
    wgs84.ImportFromEPSG(4326)
    for srs in (zone, wgs84):
        srs.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    to_zone = osr.CoordinateTransformation(wgs84, zone)
    track = []
    for f in gpkg.GetLayerByName("track"):
        line = f.GetGeometryRef()
        ends = [to_zone.TransformPoint(*line.GetPoint_2D(k)) for k in (0, 1)]
        track.append(([(x, y) for x, y, _ in ends], bool(f["gap"])))
    xs = [v for env, _, _ in cells for v in env[:2]]
    ys = [v for env, _, _ in cells for v in env[2:]]
    key = legend(classes)
    width, margin, top = 1200, 40, 70
    scale = min((width - 2 * margin) / (max(xs) - min(xs)), 800 / (max(ys) - min(ys)))
    height = max(int(top + margin + (max(ys) - min(ys)) * scale), top + key.height + margin)
    x0, y0 = min(xs), max(ys)

    def px(x, y):
        return (margin + (x - x0) * scale, top + (y0 - y) * scale)

    image = Image.new("RGB", (width, height), (238, 236, 230))
    draw = ImageDraw.Draw(image)
    for env, level, _ in cells:
        a, b = px(env[0], env[3]), px(env[1], env[2])
        draw.rectangle([a, (b[0] - 1, b[1] - 1)], fill=colour_of(classes, level))
    for (a, b), gap in track:
        draw.line([px(*a), px(*b)], fill=(200, 30, 30) if gap else (40, 40, 40),
                  width=3 if gap else 1)
    mhz = cells[0][2]
    name = f"Receiver {receiver}, {mode} channel {channel}" + (f", {mhz:.4f} MHz" if mhz else "")
    cell = cells[0][0][1] - cells[0][0][0]
    draw.text((margin, 14), f"{name}: {len(cells)} cells of {cell:g} m, coloured by their "
              "strongest level; the drive in black, red where the fix was lost",
              font=ImageFont.truetype(FONT, 16), fill=(0, 0, 0))
    image.paste(key, (width - key.width - margin, height - key.height - margin), key)
    image.save(out)


def main():
    what, path, out = sys.argv[1:4]
    wanted = sys.argv[sys.argv.index("--channel") + 1] if "--channel" in sys.argv else None
    gpkg = gdal.OpenEx(path, gdal.OF_VECTOR)
    if what == "legend":
        legend(style_classes(gpkg)).save(out)
    else:
        coverage_map(gpkg, out, wanted)


main()
