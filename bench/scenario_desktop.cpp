// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The live test on a real desktop session (xcb, with whatever platform theme and input
// method the environment chooses): test frames while a drag is under way and while the
// firmware file dialog is open, each of which runs an event loop of its own (the GTK
// dialog GLib's). Run by bench/desktop-check.sh under Xvfb.

#include "device_rig.h"
#include "mainwindow.h"
#include "measure.h"
#include "scenarios.h"
#include "test_frame_arrivals.h"
#include "timer_wakeup.h"

#include <QApplication>
#include <QDrag>
#include <QJsonDocument>
#include <QMimeData>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace bench {

namespace {

QJsonObject phase_figures(TestFrameArrivals &arrivals, qint64 from_ns, TimerWakeup &wakeup,
                          int64_t wakeups_before)
{
    const StreamFigures figures = stream_figures(arrivals.take(), from_ns, monotonic_ns());
    QJsonObject phase;
    phase[QStringLiteral("frames_per_second")] = figures.frames_per_second;
    phase[QStringLiteral("gap_p99_ms")] = figures.gaps.p99_ms;
    phase[QStringLiteral("gap_max_ms")] = figures.gaps.max_ms;
    phase[QStringLiteral("gap_within_half_ms_percent")] = figures.gaps.within_half_ms_percent;
    phase[QStringLiteral("frames_lost")] = figures.frames_lost;
    phase[QStringLiteral("wakeups")] = double(wakeup.wakeups() - wakeups_before);
    return phase;
}

} // namespace

void run_desktop(double seconds)
{
    static DeviceRig rig; // left to the process's end: the dialog never returns
    static TestFrameArrivals arrivals(rig.device());
    if (!rig.openPort())
        qFatal("the window could not open the simulated device");
    rig.runTest();
    run_event_loop_for(500);
    TimerWakeup &wakeup = *rig.window().findChild<TimerWakeup *>();

    static QJsonObject result;
    result[QStringLiteral("platform")] = QGuiApplication::platformName();
    result[QStringLiteral("platform_theme")] = qEnvironmentVariable("QT_QPA_PLATFORMTHEME");
    result[QStringLiteral("input_method")] = qEnvironmentVariable("QT_IM_MODULE");
    const int phase_ms = int(seconds * 1000);

    // A drag runs its own event loop until it is dropped or cancelled.
    arrivals.take();
    qint64 from_ns = monotonic_ns();
    int64_t wakeups_before = wakeup.wakeups();
    QTimer::singleShot(phase_ms, [&] {
        result[QStringLiteral("drag")] = phase_figures(arrivals, from_ns, wakeup, wakeups_before);
        QDrag::cancel();
    });
    auto *drag = new QDrag(&rig.window());
    auto *mime = new QMimeData;
    mime->setText(QStringLiteral("KALDORIUM-LPT"));
    drag->setMimeData(mime);
    const Qt::DropAction dropped = drag->exec(Qt::CopyAction);
    result[QStringLiteral("drag_ended")] =
        dropped == Qt::IgnoreAction ? QStringLiteral("cancelled") : QStringLiteral("dropped");

    // The file dialog: with the GTK 3 theme a native GTK dialog in GLib's own loop, with the
    // KDE theme KDE's dialog, else Qt's. The figures are printed from inside it.
    arrivals.take();
    from_ns = monotonic_ns();
    wakeups_before = wakeup.wakeups();
    QTimer::singleShot(phase_ms, [&] {
        result[QStringLiteral("file_dialog")] =
            phase_figures(arrivals, from_ns, wakeup, wakeups_before);
        QWidget *modal = QApplication::activeModalWidget();
        // A dialog the platform theme shows itself leaves Qt's own hidden.
        result[QStringLiteral("file_dialog_kind")] =
            !modal ? QStringLiteral("none")
            : modal->testAttribute(Qt::WA_DontShowOnScreen)
                ? QStringLiteral("the platform theme's native dialog")
                : QString::fromLatin1(modal->metaObject()->className());
        std::fputs(QJsonDocument(result).toJson(QJsonDocument::Compact).constData(), stdout);
        std::fputs("\n", stdout);
        std::fflush(stdout);
        std::_Exit(0);
    });
    QMetaObject::invokeMethod(&rig.window(), "on_OpenFirmware_clicked");
    qFatal("the firmware file dialog closed before the check ended");
}

} // namespace bench
