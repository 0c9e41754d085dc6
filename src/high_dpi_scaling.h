// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_HIGH_DPI_SCALING_H
#define KALDORIUM_HIGH_DPI_SCALING_H

// Lets the window grow with the screen's scale (Xft.dpi on X11, the output scale on Wayland):
// the form keeps its sizes in logical pixels and is drawn with that many device pixels each,
// 1.5 at 150 %. Qt 6 does so by itself; Qt 5 only when asked before the application object
// exists, so call this first thing in main(). QT_SCALE_FACTOR and QT_ENABLE_HIGHDPI_SCALING=0
// still override it.
void enable_high_dpi_scaling();

#endif
