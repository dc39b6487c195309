#!/usr/bin/env python3
"""Makes sample data for trying isovar-convert by hand, in the formats users
hold: a 2000 x 2000 GeoTIFF of hills (dem.tif), the same at 200 x 200 as
netCDF (dem.nc) and as an ESRI ASCII grid (dem.asc), a survey of scattered
points (survey.csv), and a plate with a hole meshed with quadrangles and
triangles and its stress sigma_x, in Gmsh format 4.1 (plate.msh) and 2.2
(plate22.msh).

Usage: scripts/make_sample_data.py [FOLDER]   (default build/samples)

Rasters are written as raw floats with a header and turned into GeoTIFF
and netCDF by gdal_translate (gdal-bin), so no Python package is needed.
"""
import array
import math
import os
import random
import subprocess
import sys

NODATA = -9999.0


def terrain(x, y):
    """Heights of 250 to 600 m: two hills, a saddle and a valley, on 20 km."""
    h = 300.0
    h += 260.0 * math.exp(-((x - 6000) ** 2 + (y - 12000) ** 2) / (2 * 2500.0 ** 2))
    h += 180.0 * math.exp(-((x - 14000) ** 2 + (y - 7000) ** 2) / (2 * 3000.0 ** 2))
    h -= 45.0 * math.exp(-((x - 15000) ** 2 + (y - 16000) ** 2) / (2 * 2000.0 ** 2))
    h += 8.0 * math.sin(x / 900.0) * math.cos(y / 1300.0)
    return h


def write_ehdr(path, n, cell, x0, y_top):
    """An n x n raster of terrain() in EHdr form (path.bil and path.hdr): rows
    from the north, pixel size cell, upper left corner (x0, y_top); a lake in
    the valley is nodata."""
    values = array.array("f")
    for r in range(n):
        y = y_top - (r + 0.5) * cell
        for c in range(n):
            x = x0 + (c + 0.5) * cell
            lake = (x - 15000) ** 2 + (y - 16000) ** 2 < 700.0 ** 2
            values.append(NODATA if lake else terrain(x, y))
    if sys.byteorder != "little":
        values.byteswap()
    with open(path + ".bil", "wb") as f:
        values.tofile(f)
    with open(path + ".hdr", "w") as f:
        f.write(
            "BYTEORDER I\nLAYOUT BIL\nNROWS %d\nNCOLS %d\nNBANDS 1\nNBITS 32\nPIXELTYPE FLOAT\n"
            "ULXMAP %r\nULYMAP %r\nXDIM %r\nYDIM %r\nNODATA %r\n"
            % (n, n, x0 + cell / 2, y_top - cell / 2, cell, cell, NODATA)
        )


def translate(source, target, driver, *extra):
    subprocess.run(["gdal_translate", "-q", "-of", driver, *extra, source, target], check=True)


def write_survey(path, count=600):
    """Scattered points over the same 20 km, with a header line."""
    rng = random.Random(15)
    with open(path, "w") as f:
        f.write("easting,northing,height\n")
        for _ in range(count):
            x = rng.uniform(0, 20000)
            y = rng.uniform(0, 20000)
            f.write("%.1f,%.1f,%.2f\n" % (x, y, terrain(x, y)))


def plate_mesh(rings=16, around=48, radius=20.0, outer=100.0):
    """A square plate 200 x 200 with a hole of the given radius: rings of
    quadrangles around the hole, the last ring split into triangles. Node
    tags are 1000 * ring + k + 1. Values: sigma_x of a plate under 100 MPa
    tension in x (Kirsch)."""
    nodes = {}
    for ring in range(rings + 1):
        for k in range(around):
            t = 2 * math.pi * k / around
            c, s = math.cos(t), math.sin(t)
            edge = outer / max(abs(c), abs(s))  # the square's edge along this ray
            r = radius + (edge - radius) * (ring / rings) ** 1.5
            nodes[1000 * ring + k + 1] = (r * c, r * s)
    quads, triangles = [], []
    for ring in range(rings):
        for k in range(around):
            a = 1000 * ring + k + 1
            b = 1000 * ring + (k + 1) % around + 1
            c = b + 1000
            d = a + 1000
            if ring < rings - 1:
                quads.append((a, b, c, d))
            else:
                triangles.append((a, b, c))
                triangles.append((a, c, d))
    lines = [(1000 * rings + k + 1, 1000 * rings + (k + 1) % around + 1) for k in range(around)]

    def sigma_x(x, y):
        a2 = radius * radius / (x * x + y * y)
        t = math.atan2(y, x)
        return 100.0 * (1 - a2 * (1.5 * math.cos(2 * t) + math.cos(4 * t)) + 1.5 * a2 * a2 * math.cos(4 * t))

    values = {tag: sigma_x(*xy) for tag, xy in nodes.items()}
    return nodes, quads, triangles, lines, values


def write_msh41(path, mesh):
    nodes, quads, triangles, lines, values = mesh
    tags = sorted(nodes)
    with open(path, "w") as f:
        f.write("$MeshFormat\n4.1 0 8\n$EndMeshFormat\n")
        f.write("$Nodes\n1 %d %d %d\n2 1 0 %d\n" % (len(tags), tags[0], tags[-1], len(tags)))
        f.writelines("%d\n" % t for t in tags)
        f.writelines("%.6f %.6f 0\n" % nodes[t] for t in tags)
        f.write("$EndNodes\n")
        count = len(quads) + len(triangles) + len(lines)
        f.write("$Elements\n3 %d 1 %d\n" % (count, count))
        tag = 1
        for dim, kind, elements in ((2, 3, quads), (2, 2, triangles), (1, 1, lines)):
            f.write("%d 1 %d %d\n" % (dim, kind, len(elements)))
            for e in elements:
                f.write("%d %s\n" % (tag, " ".join(map(str, e))))
                tag += 1
        f.write("$EndElements\n")
        write_node_data(f, values)


def write_msh22(path, mesh):
    nodes, quads, triangles, lines, values = mesh
    with open(path, "w") as f:
        f.write("$MeshFormat\n2.2 0 8\n$EndMeshFormat\n")
        f.write("$Nodes\n%d\n" % len(nodes))
        f.writelines("%d %.6f %.6f 0\n" % (t, x, y) for t, (x, y) in sorted(nodes.items()))
        f.write("$EndNodes\n")
        elements = [(3, e) for e in quads] + [(2, e) for e in triangles] + [(1, e) for e in lines]
        f.write("$Elements\n%d\n" % len(elements))
        for tag, (kind, e) in enumerate(elements, start=1):
            f.write("%d %d 2 1 1 %s\n" % (tag, kind, " ".join(map(str, e))))
        f.write("$EndElements\n")
        write_node_data(f, values)


def write_node_data(f, values):
    f.write('$NodeData\n1\n"sigma_x"\n1\n0\n3\n0\n1\n%d\n' % len(values))
    f.writelines("%d %.4f\n" % (t, v) for t, v in sorted(values.items()))
    f.write("$EndNodeData\n")


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "build/samples"
    os.makedirs(folder, exist_ok=True)
    big = os.path.join(folder, "dem_big")
    write_ehdr(big, 2000, 10.0, 0.0, 20000.0)
    translate(big + ".bil", os.path.join(folder, "dem.tif"), "GTiff")
    small = os.path.join(folder, "dem_small")
    write_ehdr(small, 200, 100.0, 0.0, 20000.0)
    translate(small + ".bil", os.path.join(folder, "dem.nc"), "netCDF")
    translate(small + ".bil", os.path.join(folder, "dem.asc"), "AAIGrid")
    for stem in (big, small):
        for ext in (".bil", ".hdr"):
            os.remove(stem + ext)
    write_survey(os.path.join(folder, "survey.csv"))
    mesh = plate_mesh()
    write_msh41(os.path.join(folder, "plate.msh"), mesh)
    write_msh22(os.path.join(folder, "plate22.msh"), mesh)
    print("sample data in", folder)


if __name__ == "__main__":
    main()
