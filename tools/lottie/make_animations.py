#!/usr/bin/env python3
"""Writes the interface's Lottie animations into ui/base/assets/animations/.

The home screen chains the connect-button segments and the background segments one after
another (show -> loop ... -> end -> yes, close -> closeloop ... -> closeend -> no; bg_ok ->
bg_blue, bg_close -> bg_black), so every segment is built from a few named looks and starts
exactly on the look where the segment before it stopped; the loops end where they begin.

Keyframes use the older form (each with "s" and "e", the last one only "t"), which every Lottie
player understands. Run from anywhere: python3 tools/lottie/make_animations.py
"""

import json
import os

FPS = 30
PAGE_W, PAGE_H = 400, 660
CENTRE = (200, 200)  # the connect button's centre on the home page


def rgb(hex_text, alpha=1.0):
    h = hex_text.lstrip("#")
    return [round(int(h[i:i + 2], 16) / 255, 4) for i in (0, 2, 4)] + [alpha]


BLUE = "#2196F3"
EASE_OUT = ({"x": [0.2], "y": [1]}, {"x": [0.3], "y": [0]})
EASE_IN_OUT = ({"x": [0.45], "y": [1]}, {"x": [0.55], "y": [0]})
LINEAR = ({"x": [1], "y": [1]}, {"x": [0], "y": [0]})


def static(value):
    return {"a": 0, "k": value}


def animated(points, ease=EASE_IN_OUT):
    """points: [(frame, value), ...] in frame order; values are numbers or lists."""
    if len(points) == 1 or all(p[1] == points[0][1] for p in points):
        return static(points[0][1])
    keys = []
    for (t, v), (_, nxt) in zip(points, points[1:]):
        s = v if isinstance(v, list) else [v]
        e = nxt if isinstance(nxt, list) else [nxt]
        keys.append({"t": t, "s": s, "e": e, "i": ease[0], "o": ease[1]})
    keys.append({"t": points[-1][0]})
    return {"a": 1, "k": keys}


def prop(value, ease=EASE_IN_OUT):
    """A value that is either constant or a list of (frame, value) keyframes."""
    if isinstance(value, tuple):
        return animated(list(value), ease)
    return static(value)


def transform(position=(0, 0), scale=100, rotation=0, opacity=100, ease=EASE_IN_OUT):
    sc = prop(tuple((t, [v, v]) for t, v in scale) if isinstance(scale, tuple) else [scale, scale], ease)
    return {
        "ty": "tr",
        "p": static(list(position)),
        "a": static([0, 0]),
        "s": sc,
        "r": prop(rotation, LINEAR if isinstance(rotation, tuple) else ease),
        "o": prop(opacity, ease),
        "sk": static(0),
        "sa": static(0),
    }


def ellipse(diameter):
    return {"ty": "el", "d": 1, "p": static([0, 0]), "s": static([diameter, diameter])}


def path(vertices, in_tangents=None, out_tangents=None, closed=False):
    n = len(vertices)
    return {
        "ty": "sh",
        "ks": static({
            "i": in_tangents or [[0, 0]] * n,
            "o": out_tangents or [[0, 0]] * n,
            "v": vertices,
            "c": closed,
        }),
    }


def fill(colour, opacity=100):
    return {"ty": "fl", "c": prop(colour), "o": prop(opacity), "r": 1}


def stroke(colour, width, opacity=100):
    return {"ty": "st", "c": prop(colour), "o": prop(opacity), "w": static(width), "lc": 2, "lj": 2}


def trim(start, end, offset=0):
    return {"ty": "tm", "s": prop(start), "e": prop(end), "o": prop(offset), "m": 1}


def group(name, items, tr=None):
    return {"ty": "gr", "nm": name, "it": items + [tr or transform()]}


def layer(index, name, shapes, op, position=CENTRE, rotation=0, opacity=100, scale=100):
    ks = transform(position, scale, rotation, opacity)
    ks = {k: v for k, v in ks.items() if k not in ("ty", "sk", "sa")}
    ks["p"] = static([position[0], position[1], 0])
    ks["a"] = static([0, 0, 0])
    if isinstance(scale, tuple):
        ks["s"] = animated([(t, [v, v, 100]) for t, v in scale])
    else:
        ks["s"] = static([scale, scale, 100])
    return {
        "ddd": 0, "ind": index, "ty": 4, "nm": name, "sr": 1, "ks": ks, "ao": 0,
        "shapes": shapes, "ip": 0, "op": op, "st": 0, "bm": 0,
    }


def document(name, op, w, h, layers):
    return {
        "v": "5.5.2", "fr": FPS, "ip": 0, "op": op, "w": w, "h": h, "nm": name,
        "ddd": 0, "assets": [], "layers": layers,
    }


# ---------------------------------------------------------------------------------------------
# Connect button. A look names the colours of each part and whether the spinner shows.

BUTTON_LOOKS = {
    "off": {"disc": "#FFFFFF", "ring": "#B0BEC5", "glyph": "#90A4AE", "spin": "#2196F3", "spin_o": 0},
    "connecting": {"disc": "#E3F2FD", "ring": "#BBDEFB", "glyph": BLUE, "spin": BLUE, "spin_o": 100},
    "on": {"disc": BLUE, "ring": "#90CAF9", "glyph": "#FFFFFF", "spin": BLUE, "spin_o": 0},
    "closing": {"disc": "#ECEFF1", "ring": "#B0BEC5", "glyph": "#90A4AE", "spin": "#78909C", "spin_o": 100},
}

SPIN_DEG_PER_FRAME = 12  # one turn a second
SPIN_ARC = 25  # percent of the ring the spinner covers while it turns


def between(a, b, key, start, end):
    va, vb = BUTTON_LOOKS[a][key], BUTTON_LOOKS[b][key]
    if isinstance(va, str):
        va, vb = rgb(va), rgb(vb)
    return ((start, va), (end, vb))


def button(name, frm, to, op, change=(0, 15), spin=None, arc=None, pulse=None, breathe=None):
    """One connect-button segment from look `frm` to look `to`.

    spin: rotation keyframes of the spinner (degrees), arc: its trim end keyframes (percent),
    pulse: (start, end) frames of an expanding ring, breathe: (start, end) frames of a soft swell."""
    a, b = change
    spin = spin or ((0, 0),)
    arc = arc or ((0, SPIN_ARC),)

    glyph = layer(1, "glyph", [
        group("arc", [ellipse(56), trim(8.5, 91.5), stroke(between(frm, to, "glyph", a, b), 8)]),
        group("bar", [path([[0, -36], [0, -10]]), stroke(between(frm, to, "glyph", a, b), 8)]),
    ], op, scale=((0, 100), (breathe[0], 100), ((breathe[0] + breathe[1]) // 2, 106), (breathe[1], 100))
        if breathe else 100)

    spinner = layer(2, "spinner", [
        group("arc", [ellipse(192), trim(0, arc if len(arc) > 1 else arc[0][1]),
                      stroke(between(frm, to, "spin", a, b), 6)]),
    ], op, rotation=spin if len(spin) > 1 else spin[0][1],
        opacity=between(frm, to, "spin_o", a, b))

    disc = layer(3, "disc", [
        group("face", [ellipse(160), fill(between(frm, to, "disc", a, b))]),
    ], op)

    ring = layer(4, "ring", [
        group("ring", [ellipse(192), stroke(between(frm, to, "ring", a, b), 4)]),
    ], op)

    layers = [glyph, spinner, disc, ring]
    if pulse:
        p0, p1 = pulse
        layers.append(layer(5, "pulse", [
            group("wave", [ellipse(192), stroke(rgb(BLUE), 3)]),
        ], op, scale=((p0, 100), (p1, 150)), opacity=((0, 0), (p0, 0), (p0 + 2, 70), (p1, 0))))
    return document(name, op, PAGE_W, PAGE_H, layers)


def turn(frames, start=0):
    """Spinner rotation keyframes turning at the constant speed from `start` degrees."""
    return ((0, start), (frames, start + SPIN_DEG_PER_FRAME * frames))


# ---------------------------------------------------------------------------------------------
# Background of the home page: a tinted band with a wavy lower edge and a halo behind the button.

BG_LOOKS = {
    "black": {"band": "#DCE4EA", "halo": "#B0BEC5", "halo_o": 16},
    "blue": {"band": "#D2E8FC", "halo": "#64B5F6", "halo_o": 16},
}
HALO_DIAMETERS = (270, 380)  # inner and outer halo behind the button


def band_path():
    # Top band: full width, down to a soft wave under the status line (layer origin at 200, 200).
    v = [[-200, -200], [200, -200], [200, 170], [-200, 195]]
    i = [[0, 0], [0, 0], [0, 0], [130, -55]]
    o = [[0, 0], [0, 0], [-130, 45], [0, 0]]
    return path(v, i, o, closed=True)


def bg_between(a, b, key, start, end):
    va, vb = BG_LOOKS[a][key], BG_LOOKS[b][key]
    if isinstance(va, str):
        va, vb = rgb(va), rgb(vb)
    return ((start, va), (end, vb))


def background(name, frm, to, op, change=(0, 20), ripples=False, breathe=None):
    a, b = change
    halo_scale = 100
    if breathe:
        s, e = breathe
        halo_scale = ((0, 100), (s, 100), ((s + e) // 2, 104), (e, 100))
    layers = []
    if ripples:
        for k, delay in enumerate((0, 6, 12)):
            layers.append(layer(1 + k, "ripple %d" % (k + 1), [
                group("ring", [ellipse(200), stroke(rgb("#2196F3"), 2)]),
            ], op, scale=((delay, 100), (delay + 24, 240)),
                opacity=((0, 0), (delay, 0), (delay + 2, 45), (delay + 24, 0))))
    halo_o = bg_between(frm, to, "halo_o", a, b)
    halo_c = bg_between(frm, to, "halo", a, b)
    layers.append(layer(len(layers) + 1, "halo", [
        group("inner", [ellipse(HALO_DIAMETERS[0]), fill(halo_c, halo_o)]),
        group("outer", [ellipse(HALO_DIAMETERS[1]), fill(halo_c, halo_o)]),
    ], op, scale=halo_scale))
    layers.append(layer(len(layers) + 1, "band", [
        group("band", [band_path(), fill(bg_between(frm, to, "band", a, b))]),
    ], op, position=(200, 200)))
    return document(name, op, PAGE_W, PAGE_H, layers)


# ---------------------------------------------------------------------------------------------
# Loading indicator: a ring with a turning arc that grows and shrinks once a turn.

def loading():
    op = 30
    return document("loading", op, 100, 100, [
        layer(1, "arc", [
            group("arc", [ellipse(72), trim(0, ((0, 12), (15, 42), (30, 12))), stroke(rgb(BLUE), 8)]),
        ], op, position=(50, 50), rotation=((0, 0), (op, 360))),
        layer(2, "track", [
            group("track", [ellipse(72), stroke(rgb("#BBDEFB"), 8)]),
        ], op, position=(50, 50)),
    ])


def all_animations():
    return {
        # connect button
        "ani_no": button("ani_no", "off", "off", 30, breathe=(0, 26)),
        "ani_show": button("ani_show", "off", "connecting", 15, change=(0, 15),
                           spin=turn(15, -180), arc=((0, 0), (15, SPIN_ARC))),
        "ani_loop": button("ani_loop", "connecting", "connecting", 30, spin=turn(30)),
        "ani_end": button("ani_end", "connecting", "on", 30, change=(0, 18),
                          spin=turn(18), arc=((0, SPIN_ARC), (18, 100)), pulse=(8, 27)),
        "ani_yes": button("ani_yes", "on", "on", 30, breathe=(0, 26)),
        "ani_close": button("ani_close", "on", "closing", 15, change=(0, 15),
                            spin=turn(15, -180), arc=((0, 0), (15, SPIN_ARC))),
        "ani_closeloop": button("ani_closeloop", "closing", "closing", 30, spin=turn(30)),
        "ani_closeend": button("ani_closeend", "closing", "off", 24, change=(0, 20),
                               spin=turn(20), arc=((0, SPIN_ARC), (20, 100))),
        # background
        "bg_black": background("bg_black", "black", "black", 60, breathe=(0, 56)),
        "bg_ok": background("bg_ok", "black", "blue", 40, change=(0, 24), ripples=True),
        "bg_blue": background("bg_blue", "blue", "blue", 60, breathe=(0, 56)),
        "bg_close": background("bg_close", "blue", "black", 30, change=(0, 24)),
        # overlay
        "loading": loading(),
    }


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    out = os.path.join(root, "ui", "base", "assets", "animations")
    os.makedirs(out, exist_ok=True)
    for name, doc in all_animations().items():
        with open(os.path.join(out, name + ".json"), "w", encoding="utf-8") as f:
            json.dump(doc, f, separators=(",", ":"))
            f.write("\n")


if __name__ == "__main__":
    main()
