#!/usr/bin/env python3

# SPDX-FileCopyrightText: 2026 Holmcraft
#
# SPDX-License-Identifier: GPL-3.0-or-later

"""Draws the wiring of each built-in loopback plug on a DB-25 connector (docs/plug-*.svg).

The plugs and the pin names are read from the program's own tables
(src/device_link/loopback_plugs.h, src/device_link/db25_pins.h), so a drawing shows what the
self-test expects. Run it from anywhere:

    python3 docs/make-plug-drawings.py           # writes docs/plug-<name>.svg
    python3 docs/make-plug-drawings.py --check   # exit 1 when a drawing is out of date
"""

import html
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
PLUGS_H = ROOT / "src" / "device_link" / "loopback_plugs.h"
PINS_H = ROOT / "src" / "device_link" / "db25_pins.h"
OUT = ROOT / "docs"

COLOURS = ["#d62728", "#1f77b4", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b", "#e377c2",
           "#17becf"]
PORTS = {"Data": "data output", "Control": "control output", "Status": "status input",
         "Ground": "ground"}

PITCH = 60
WIDTH = 13 * PITCH + 140
TOP_Y = 250
BOTTOM_Y = TOP_Y + 80
RADIUS = 23


def read_pins():
    text = PINS_H.read_text()
    pins = {}
    for number, port, name in re.findall(r'\{(\d+), Port::(\w+), -?\d+, "(\w+)"\}', text):
        pins[int(number)] = (name, port)
    if sorted(pins) != list(range(1, 26)):
        sys.exit(f"{PINS_H}: the pin table is not where it was expected")
    return pins


def read_plugs():
    text = PLUGS_H.read_text()
    plugs = []
    for name, body in re.findall(r'inline constexpr Plug k\w+ = \{\s*"(\w+)",\s*\d+,(.*?)\};',
                                 text, re.S):
        nets = [[int(pin) for pin in group.split(",")]
                for _, group in re.findall(r"\{(\d+), \{([\d, ]+)\}\}", body)]
        if nets:
            plugs.append((name, nets))
    if [name for name, _ in plugs] != ["passmark", "checkit", "full"]:
        sys.exit(f"{PLUGS_H}: the plugs are not where they were expected")
    return plugs


def pin_xy(number):
    """Solder side of a male plug: pin 1 top right, pin 14 below between 1 and 2."""
    right = 70 + 12 * PITCH
    if number <= 13:
        return right - (number - 1) * PITCH, TOP_Y
    return right - (number - 14) * PITCH - PITCH / 2, BOTTOM_Y


def output_first(net, pins):
    """The net's pins with the pin that drives it first (a data pin, else a control pin)."""
    for port in ("Data", "Control"):
        for pin in net:
            if pins[pin][1] == port:
                return [pin] + [other for other in net if other != pin]
    return net


def drawing(name, nets, pins):
    on_net = {pin: index for index, net in enumerate(nets) for pin in net}
    rows = len(nets)
    bottom_arcs = any(pin_xy(output_first(net, pins)[0])[1] == BOTTOM_Y and
                      any(pin_xy(other)[1] == BOTTOM_Y for other in output_first(net, pins)[1:])
                      for net in nets)
    below = BOTTOM_Y + (190 if bottom_arcs else 100)
    height = below + rows * 26 + 80
    out = []
    add = out.append
    add('<?xml version="1.0" encoding="UTF-8"?>')
    # REUSE-IgnoreStart
    add("<!-- SPDX-FileCopyrightText: 2026 Holmcraft -->")
    add("<!-- SPDX-License-Identifier: GPL-3.0-or-later -->")
    # REUSE-IgnoreEnd
    add(f"<!-- Made by docs/make-plug-drawings.py from the program's plug table; do not edit. -->")
    add(f'<svg xmlns="http://www.w3.org/2000/svg" width="{WIDTH}" height="{height}" '
        f'viewBox="0 0 {WIDTH} {height}" font-family="DejaVu Sans, Verdana, sans-serif">')
    add(f'<title>The {name} loopback plug for kaldorium-lpt selftest</title>')
    add(f'<rect width="{WIDTH}" height="{height}" fill="#ffffff"/>')
    add(f'<text x="30" y="40" font-size="22" font-weight="bold">The {name} loopback plug</text>')
    add('<text x="30" y="66" font-size="14">A male DB-25 plug for the KALDORIUM-LPT, seen from '
        'the back, where the wires are soldered</text>')
    add('<text x="30" y="86" font-size="14">(pin 1 at the top right; the numbers are moulded '
        'beside the solder cups).</text>')
    add(f'<text x="30" y="112" font-size="14" font-family="DejaVu Sans Mono, monospace">'
        f'kaldorium-lpt selftest --plug {name}</text>')

    # The shell: the D shape, wider at the top.
    left, right = 30, WIDTH - 30
    top, bottom = TOP_Y - 40, BOTTOM_Y + 40
    add(f'<path d="M {left} {top} L {right} {top} L {right - 40} {bottom} L {left + 40} {bottom} Z" '
        'fill="#f2f2f2" stroke="#555555" stroke-width="3" stroke-linejoin="round"/>')

    # The wires, under the pins: from the driving pin to each other pin of its net; between
    # two pins of a row they leave the back of the plug and bend round above or below it.
    for index, net in enumerate(nets):
        colour = COLOURS[index % len(COLOURS)]
        ordered = output_first(net, pins)
        for other in ordered[1:]:
            (x1, y1), (x2, y2) = pin_xy(ordered[0]), pin_xy(other)
            if y1 == y2:
                lift = 70 + 16 * index + abs(x2 - x1) / 12
                bend = y1 - lift if y1 == TOP_Y else y1 + lift
                path = f"M {x1:.0f} {y1:.0f} C {x1:.0f} {bend:.0f} {x2:.0f} {bend:.0f} {x2:.0f} {y2:.0f}"
            else:
                path = f"M {x1:.0f} {y1:.0f} L {x2:.0f} {y2:.0f}"
            add(f'<path d="{path}" fill="none" stroke="{colour}" stroke-width="4" '
                'stroke-linecap="round"/>')

    # The pins: number and name inside each.
    for number in range(1, 26):
        x, y = pin_xy(number)
        label, port = pins[number]
        net = on_net.get(number)
        fill = COLOURS[net % len(COLOURS)] if net is not None else "#ffffff"
        ink = "#ffffff" if net is not None else "#333333"
        add(f'<circle cx="{x:.0f}" cy="{y:.0f}" r="{RADIUS}" fill="{fill}" stroke="#333333" '
            'stroke-width="2"/>')
        add(f'<text x="{x:.0f}" y="{y - 1:.0f}" font-size="15" font-weight="bold" '
            f'text-anchor="middle" fill="{ink}">{number}</text>')
        add(f'<text x="{x:.0f}" y="{y + 14:.0f}" font-size="11" text-anchor="middle" '
            f'fill="{ink}">{label}</text>')

    # What to solder.
    y = below
    add(f'<text x="30" y="{y}" font-size="16" font-weight="bold">Solder one wire per line '
        '(the first pin drives, the others read):</text>')
    for index, net in enumerate(nets):
        y += 26
        colour = COLOURS[index % len(COLOURS)]
        parts = [f"pin {pin} ({pins[pin][0]}, {PORTS[pins[pin][1]]})"
                 for pin in output_first(net, pins)]
        add(f'<rect x="30" y="{y - 13}" width="22" height="14" fill="{colour}"/>')
        add(f'<text x="62" y="{y}" font-size="14">{html.escape("  to  ".join(parts))}</text>')
    y += 36
    free = [number for number in range(1, 26) if number not in on_net]
    add(f'<text x="30" y="{y}" font-size="13" fill="#555555">Left free: pins '
        f'{", ".join(str(pin) for pin in free)} (18 to 25 are ground).</text>')
    add(f'<text x="30" y="{y + 20}" font-size="13" fill="#555555">The same plug as a file for '
        f'selftest --plug FILE: {html.escape(", ".join("-".join(str(p) for p in net) for net in nets))}'
        ', one net a line.</text>')
    add("</svg>")
    return "\n".join(out) + "\n"


def main():
    check = "--check" in sys.argv[1:]
    pins = read_pins()
    stale = []
    for name, nets in read_plugs():
        path = OUT / f"plug-{name}.svg"
        text = drawing(name, nets, pins)
        if check:
            if not path.exists() or path.read_text() != text:
                stale.append(str(path))
        else:
            path.write_text(text)
            print(path)
    if stale:
        print("out of date (run python3 docs/make-plug-drawings.py): " + ", ".join(stale),
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
