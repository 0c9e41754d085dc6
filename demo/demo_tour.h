// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_DEMO_TOUR_H
#define KALDORIUM_DEMO_TOUR_H

#include <QString>

class QWidget;

namespace demo {

// Opens the simulated device, starts a live test with the data port as output, holds a few
// data pins, waits until their loopback inputs show, saves a screenshot of the window to
// `path` (printing where) and quits the application.
void run_screenshot_tour(QWidget &window, const QString &path);

} // namespace demo

#endif
