"""Isovar's lines and bands in a matplotlib Axes, for a matplotlib figure
around them."""

import numpy as np


def contour(ax, model, levels=None, *, bands=False, cmap="viridis", colors=None, linewidths=1.0,
            band_alpha=0.5):
    """Draws the model's isolines into ax as one LineCollection per level
    (coloured by level from cmap, or colors: one colour, or one per level)
    and, with bands=True, the bands under them as one PathCollection per
    band (holes left open). Returns (line collections, band collections).
    The axes' limits take the model's extent."""
    import matplotlib
    from matplotlib.collections import LineCollection, PathCollection
    from matplotlib.path import Path

    lv = model.levels if levels is None else np.asarray(levels, dtype=np.float64)
    per_level = model.lines(levels=levels)
    n = len(lv)
    cm = matplotlib.colormaps[cmap] if isinstance(cmap, str) else cmap
    if colors is None:
        line_colours = [cm(k / max(n - 1, 1)) for k in range(n)]
    elif isinstance(colors, str) or (len(colors) in (3, 4) and np.isscalar(colors[0])):
        line_colours = [colors] * n
    else:
        line_colours = list(colors)
    band_collections = []
    if bands:
        for b, polygons in enumerate(model.bands(levels=levels)):
            if not polygons:
                continue
            paths = [Path.make_compound_path(*[Path(ring, closed=True) for ring in polygon]) for polygon in polygons]
            pc = PathCollection(paths, facecolors=[cm(b / max(n, 1))], edgecolors="none", alpha=band_alpha)
            pc.set_label(f"band {b}")
            ax.add_collection(pc)
            band_collections.append(pc)
    line_collections = []
    for k, lines in enumerate(per_level):
        lc = LineCollection(lines, colors=[line_colours[k]], linewidths=linewidths)
        lc.set_label(f"{lv[k]:g}")
        ax.add_collection(lc)
        line_collections.append(lc)
    xmin, xmax, ymin, ymax = model.extent
    ax.update_datalim([(xmin, ymin), (xmax, ymax)])
    ax.autoscale_view()
    return line_collections, band_collections
