// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// Start-up: the program's own start sequence (application, window, show) in a fresh
// process, against the host's real serial ports, timed from the spawn of the process.

#include "mainwindow.h"
#include "measure.h"
#include "scenarios.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QWindow>

namespace bench {

namespace {

// Notes when the window is first exposed, and ends the loop once that expose (and with
// it the first paint of the window) has been handled.
class ExposeWatch : public QObject {
public:
    explicit ExposeWatch(QEventLoop &loop) : loop_(loop) {}
    qint64 exposed_ns = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = qobject_cast<QWindow *>(watched);
        if (event->type() == QEvent::Expose && !exposed_ns && window && window->isExposed()) {
            exposed_ns = monotonic_ns();
            QTimer::singleShot(0, &loop_, &QEventLoop::quit);
        }
        return false;
    }

private:
    QEventLoop &loop_;
};

double ms_between(qint64 from_ns, qint64 to_ns)
{
    return double(to_ns - from_ns) / 1e6;
}

} // namespace

QJsonObject run_startup(const StartupMarks &marks)
{
    MainWindow window;
    const qint64 window_made = monotonic_ns();
    QEventLoop loop;
    ExposeWatch watch(loop);
    qApp->installEventFilter(&watch);
    window.show();
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    const qint64 shown = monotonic_ns();
    if (!watch.exposed_ns)
        qFatal("the window was never exposed");

    QJsonObject result;
    result[QStringLiteral("to_main_ms")] = ms_between(marks.spawned_ns, marks.main_entered_ns);
    result[QStringLiteral("to_application_ms")] =
        ms_between(marks.spawned_ns, marks.application_made_ns);
    result[QStringLiteral("to_window_made_ms")] = ms_between(marks.spawned_ns, window_made);
    result[QStringLiteral("to_exposed_ms")] = ms_between(marks.spawned_ns, watch.exposed_ns);
    result[QStringLiteral("to_shown_ms")] = ms_between(marks.spawned_ns, shown);
    return result;
}

} // namespace bench
