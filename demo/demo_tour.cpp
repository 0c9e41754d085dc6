// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "demo_tour.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace demo {

namespace {

constexpr int kStartMs = 500;
constexpr int kShowInputsMs = 1200; // several input display refreshes (every 210 ms)
constexpr int kTestTab = 1;
const char *const kHeldPins[] = {"pushButton_2", "pushButton_4", "pushButton_5"};

QAbstractButton *button(QWidget &window, const char *name)
{
    return window.findChild<QAbstractButton *>(QString::fromLatin1(name));
}

// The window as the X server shows it; a rendering of the widget where the platform cannot
// grab the screen (offscreen).
QPixmap capture(QWidget &window)
{
    QPixmap shot;
    if (QScreen *screen = window.screen())
        shot = screen->grabWindow(window.winId());
    if (shot.isNull() || shot.size() != window.size())
        shot = window.grab();
    return shot;
}

} // namespace

void run_screenshot_tour(QWidget &window, const QString &path)
{
    QTimer::singleShot(kStartMs, &window, [&window, path] {
        button(window, "Open_pushButton")->click();
        window.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentIndex(kTestTab);
        button(window, "radioButton_2")->setChecked(true);
        button(window, "Run_pushButton")->click();
        for (const char *pin : kHeldPins)
            button(window, pin)->setDown(true); // as if held with the mouse

        QTimer::singleShot(kShowInputsMs, &window, [&window, path] {
            const bool saved =
                QDir().mkpath(QFileInfo(path).absolutePath()) && capture(window).save(path);
            std::printf("%s %s\n", saved ? "Screenshot saved to" : "Could not save",
                        qPrintable(QFileInfo(path).absoluteFilePath()));
            std::fflush(stdout);
            QApplication::exit(saved ? 0 : 1);
        });
    });
}

} // namespace demo
