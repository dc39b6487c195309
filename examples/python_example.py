import numpy as np
import isovar

# Two hills and a valley on a 300 x 200 grid; a pond without values.
x = np.linspace(0.0, 30.0, 300)
y = np.linspace(0.0, 20.0, 200)
X, Y = np.meshgrid(x, y)
z = (60 * np.exp(-((X - 8) ** 2 + (Y - 12) ** 2) / 20)
     + 45 * np.exp(-((X - 21) ** 2 + (Y - 7) ** 2) / 30)
     - 30 * np.exp(-((X - 23) ** 2 + (Y - 16) ** 2) / 8))
z[(X - 5) ** 2 + (Y - 4) ** 2 < 4] = np.nan

m = isovar.Grid(x, y, z, levels=np.arange(-25.0, 60.0, 10.0), bold=(25.0,),
                titles=("Two hills and a valley", "isovar from Python"))
print(m)                    # <isovar.Model grid, 9 levels, extent (0.0, 30.0, 0.0, 20.0)>

lines = m.lines()           # one list per level of (N, 2) arrays
print([len(per_level) for per_level in lines])
bands = m.bands()           # one list per band of polygons: [outer ring, holes...]
print(len(bands), "bands")

picture = m.plot(fill=True)     # (585, 665, 3) uint8, as isovar-plot draws it
print(picture.shape)
m.save("python-example.png", fill=True)
m.save("python-example.pdf")
features = m.to_geojson()["features"]   # GeoJSON as a dict

# The same lines in a matplotlib figure.
import matplotlib.pyplot as plt
import isovar.mpl

fig, ax = plt.subplots(figsize=(6, 4))
isovar.mpl.contour(ax, m, bands=True, cmap="coolwarm")
ax.set_aspect("equal")
fig.savefig("python-example-mpl.png")
