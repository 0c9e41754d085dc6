// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// The window on screens of 100, 150 and 200 % scale: an X server (Xvfb) with Xft.dpi set as a
// desktop sets it, and the offscreen platform with QT_SCALE_FACTOR. Qt takes the scale when
// the application object is made, so each screen gets a process of its own: this suite again,
// started with --window-at-scale, set up as the program sets itself up.
#include "fake_host.h"
#include "high_dpi_scaling.h"
#include "mainwindow.h"
#include "program_state.h"
#include "window_access.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include <cstdio>
#include <memory>

using namespace testsupport;

namespace {

const QSize kFormSize(620, 600);

// The room a label or button leaves its text, as its style lays it out.
QRect textRoom(const QWidget *widget)
{
    if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        const int margin = label->margin();
        return label->contentsRect().adjusted(margin, margin, -margin, -margin);
    }
    const auto *button = qobject_cast<const QAbstractButton *>(widget);
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QStyle::SubElement contents =
        qobject_cast<const QRadioButton *>(button) ? QStyle::SE_RadioButtonContents
        : qobject_cast<const QCheckBox *>(button)  ? QStyle::SE_CheckBoxContents
                                                   : QStyle::SE_PushButtonContents;
    return button->style()->subElementRect(contents, &option, button);
}

QString textOf(const QWidget *widget)
{
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    return QString();
}

} // namespace

// One screen, in the process started for it.
class WindowAtScale : public QObject {
    Q_OBJECT

public:
    explicit WindowAtScale(qreal scale) : scale_(scale) {}

private slots:
    void initTestCase()
    {
        // Qt 5's offscreen platform has no desktop theme and falls back to 12 pt, which the
        // form's fixed sizes were never drawn for; desktops (and Qt 6's offscreen) give 9 pt.
        if (QGuiApplication::platformName() == QLatin1String("offscreen"))
            QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 9));
        reset_program_state();
        window_ = std::make_unique<MainWindow>();
        QVERIFY(showWindow(*window_));
    }
    void cleanupTestCase() { window_.reset(); }

    void sizes()
    {
        QCOMPARE(window_->size(), kFormSize);
        QCOMPARE(window_->devicePixelRatioF(), scale_);
        // The window's device pixels: what the X server holds of it; the offscreen platform
        // has no screen to grab from, only the window's own drawing.
        const QPixmap pixels = QGuiApplication::platformName() == QLatin1String("xcb")
                                   ? window_->screen()->grabWindow(window_->winId())
                                   : window_->grab();
        QCOMPARE(pixels.size(), kFormSize * scale_);
    }

    void allTabsShown()
    {
        const QTabBar *bar = child<QTabWidget>(*window_, "tabWidget")->tabBar();
        QCOMPARE(bar->count(), 5);
        for (int i = 0; i < bar->count(); ++i) {
            const QRect tab = bar->tabRect(i);
            QVERIFY2(bar->rect().contains(tab) &&
                         tab.width() > bar->fontMetrics().horizontalAdvance(bar->tabText(i)),
                     qPrintable(bar->tabText(i)));
        }
        for (const QToolButton *arrow : bar->findChildren<QToolButton *>())
            QVERIFY2(!arrow->isVisible(), "the tab bar shows scroll arrows");
    }

    void wholeTexts_data()
    {
        QTest::addColumn<QString>("name");
        for (const QWidget *widget : formWidgets(*window_)) {
            if (!textOf(widget).isEmpty())
                QTest::newRow(qPrintable(widget->objectName())) << widget->objectName();
        }
    }
    void wholeTexts()
    {
        QFETCH(QString, name);
        const QWidget *widget = child<QWidget>(*window_, qPrintable(name));
        auto *tabs = child<QTabWidget>(*window_, "tabWidget");
        for (int page = 0; page < tabs->count(); ++page) {
            if (tabs->widget(page)->isAncestorOf(widget))
                tabs->setCurrentIndex(page);
        }
        QTRY_VERIFY(widget->isVisible());
        const QFontMetrics metrics(widget->font());
        const QSize text(metrics.horizontalAdvance(textOf(widget)), metrics.height());
        const QRect room = textRoom(widget);
        QVERIFY2(room.width() >= text.width() && room.height() >= text.height(),
                 qPrintable(QStringLiteral("text %1x%2, room %3x%4")
                                .arg(text.width())
                                .arg(text.height())
                                .arg(room.width())
                                .arg(room.height())));
    }

    void footerInsideTheWindow()
    {
        const QWidget *central = window_->centralWidget();
        const QLabel *footer = child<QLabel>(*window_, "label");
        const QRect place(footer->mapTo(central, QPoint(0, 0)), footer->size());
        QVERIFY2(central->rect().contains(place),
                 qPrintable(QStringLiteral("footer at y %1 to %2, window's central area to %3")
                                .arg(place.top())
                                .arg(place.bottom())
                                .arg(central->rect().bottom())));
    }

private:
    const qreal scale_;
    FakeHost host_;
    std::unique_ptr<MainWindow> window_;
};

// Starts the screens and the process for each.
class HighDpiTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xrdb")).isEmpty())
            return; // the X11 rows skip
        // A 1920 x 1200 screen, as on the desktops in question; -noreset keeps the resource
        // database between the programs.
        xvfb_.start(xvfb, {"-displayfd", "1", "-screen", "0", "1920x1200x24", "-nolisten", "tcp",
                           "-noreset"});
        QVERIFY(xvfb_.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(xvfb_.canReadLine(), 20000);
        display_ = QStringLiteral(":") + QString::fromLatin1(xvfb_.readLine().trimmed());
    }
    void cleanupTestCase()
    {
        xvfb_.kill();
        xvfb_.waitForFinished();
    }

    void windowAtScale_data()
    {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<QByteArray>("setting"); // Xft.dpi, or QT_SCALE_FACTOR
        QTest::addColumn<qreal>("scale");
        const QString x11 = QStringLiteral("xcb"), offscreen = QStringLiteral("offscreen");
        QTest::newRow("X11 without Xft.dpi") << x11 << QByteArray() << 1.0;
        QTest::newRow("X11 Xft.dpi 96") << x11 << QByteArray("96") << 1.0;
        QTest::newRow("X11 Xft.dpi 144") << x11 << QByteArray("144") << 1.5;
        QTest::newRow("X11 Xft.dpi 192") << x11 << QByteArray("192") << 2.0;
        QTest::newRow("offscreen QT_SCALE_FACTOR 1") << offscreen << QByteArray("1") << 1.0;
        QTest::newRow("offscreen QT_SCALE_FACTOR 1.5") << offscreen << QByteArray("1.5") << 1.5;
        QTest::newRow("offscreen QT_SCALE_FACTOR 2") << offscreen << QByteArray("2") << 2.0;
    }
    void windowAtScale()
    {
        QFETCH(QString, platform);
        QFETCH(QByteArray, setting);
        QFETCH(qreal, scale);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI",
                                 "QT_ENABLE_HIGHDPI_SCALING", "QT_AUTO_SCREEN_SCALE_FACTOR",
                                 "QT_SCALE_FACTOR_ROUNDING_POLICY", "QT_DEVICE_PIXEL_RATIO"})
            environment.remove(QLatin1String(name));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        if (platform == QLatin1String("xcb")) {
            if (display_.isEmpty())
                QSKIP("Xvfb or xrdb is not installed (Debian: xvfb, x11-xserver-utils)");
            environment.insert(QStringLiteral("DISPLAY"), display_);
            // The window draws no OpenGL; Mesa's software GLX under Xvfb would leave blocks
            // that LeakSanitizer cannot name (its driver is unloaded by then).
            environment.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
            QProcess xrdb;
            xrdb.setProcessEnvironment(environment);
            if (setting.isEmpty()) {
                xrdb.start(QStringLiteral("xrdb"), {"-remove"});
            } else {
                xrdb.start(QStringLiteral("xrdb"), {"-nocpp", "-load"});
                xrdb.write("Xft.dpi: " + setting + "\n");
                xrdb.closeWriteChannel();
            }
            QVERIFY(xrdb.waitForFinished() && xrdb.exitCode() == 0);
        } else {
            environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(setting));
            // a screen of 100 %, as Xft.dpi 96 on X11 (Qt 5's offscreen screen says 100 DPI)
            environment.insert(QStringLiteral("QT_FONT_DPI"), QStringLiteral("96"));
        }

        QProcess window;
        window.setProcessEnvironment(environment);
        window.setProcessChannelMode(QProcess::MergedChannels);
        window.start(QCoreApplication::applicationFilePath(),
                     {"--window-at-scale", QString::number(scale)});
        QVERIFY(window.waitForFinished(90000));
        if (window.exitStatus() != QProcess::NormalExit || window.exitCode() != 0) {
            std::fputs(window.readAll().constData(), stdout);
            std::fflush(stdout);
            QFAIL("the window fails on this screen: its test's report above");
        }
    }

private:
    QProcess xvfb_;
    QString display_;
};

int main(int argc, char *argv[])
{
    enable_high_dpi_scaling();
    QApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == QLatin1String("--window-at-scale")) {
        WindowAtScale test(arguments.value(2).toDouble());
        arguments.erase(arguments.begin() + 1, arguments.begin() + 3);
        return QTest::qExec(&test, arguments);
    }
    HighDpiTest test;
    return QTest::qExec(&test, arguments);
}

#include "tst_high_dpi.moc"
