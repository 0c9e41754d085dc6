// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef KALDORIUM_TEST_WINDOW_ACCESS_H
#define KALDORIUM_TEST_WINDOW_ACCESS_H

// Quick access to the window's widgets by object name, as the operator sees and uses them.

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QWidget>

class QPushButton;

namespace testsupport {

template <class T> T *child(const QWidget &window, const char *objectName)
{
    T *widget = window.findChild<T *>(QString::fromLatin1(objectName));
    if (!widget)
        qFatal("no widget %s", objectName);
    return widget;
}

// The level check boxes of the DEFAULTS tab: D0..D7, C0..C3, S3..S7.
inline const QStringList kDefaultLevelBoxes = {
    "default_D0", "default_D1", "default_D2", "default_D3", "default_D4", "default_D5",
    "default_D6", "default_D7", "default_C0", "default_C1", "default_C2", "default_C3",
    "default_S3", "default_S4", "default_S5", "default_S6", "default_S7"};

// The button of a DB-25 pin, by pin number (1..25).
QPushButton *pinButton(const QWidget &window, int number);

// A mouse click on a button (push button, check box, radio button).
void click(const QWidget &window, const char *button);

QString consoleText(const QWidget &window);

// The entries of the DEVICE tab's port list, in order.
QStringList portListItems(const QWidget &window);

// Clicks Open; true when the console reports the port open.
bool openPort(const QWidget &window);

// Shows the window; true once it is on the screen.
bool showWindow(QWidget &window);

// The form's widgets; the toolkit's inner widgets (unnamed, "qt_..." or a tab bar's scroll
// arrows) are left out.
QList<QWidget *> formWidgets(const QWidget &window);

// Enabled flag of every form widget by name, as its containers leave it: the whole control
// state at once.
QMap<QString, bool> enabledFlags(const QWidget &window);

// Names of the widgets whose enabled flag is not what a closed port with no test running
// leaves: Open and Refresh usable; Close, the test, address, defaults and firmware-file
// buttons and every pin not.
QStringList unlikePortClosed(const QWidget &window);

} // namespace testsupport

#endif
