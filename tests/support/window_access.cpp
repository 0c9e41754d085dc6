// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "window_access.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

namespace testsupport {

QPushButton *pinButton(const QWidget &window, int number)
{
    return child<QPushButton>(window, qPrintable(QStringLiteral("pushButton_%1").arg(number)));
}

void click(const QWidget &window, const char *button)
{
    QTest::mouseClick(child<QAbstractButton>(window, button), Qt::LeftButton);
}

QStringList portListItems(const QWidget &window)
{
    auto *list = child<QComboBox>(window, "port_list_comboBox");
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}

QString consoleText(const QWidget &window)
{
    return child<QPlainTextEdit>(window, "console")->toPlainText();
}

bool openPort(const QWidget &window)
{
    const QString before = consoleText(window);
    click(window, "Open_pushButton");
    return consoleText(window) == before + QStringLiteral("Opening port - success!\n");
}

bool showWindow(QWidget &window)
{
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}

QList<QWidget *> formWidgets(const QWidget &window)
{
    QList<QWidget *> widgets;
    for (QWidget *widget : window.findChildren<QWidget *>()) {
        const QString name = widget->objectName();
        // A tab bar's scroll arrows are named, but the toolkit enables them itself (Qt 6 turns
        // the left one off while the first tab shows); they are no part of the form.
        if (qobject_cast<const QTabBar *>(widget->parentWidget()))
            continue;
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")))
            widgets << widget;
    }
    return widgets;
}

QMap<QString, bool> enabledFlags(const QWidget &window)
{
    QMap<QString, bool> flags;
    for (const QWidget *widget : formWidgets(window))
        flags.insert(widget->objectName(), widget->isEnabled());
    return flags;
}

QStringList unlikePortClosed(const QWidget &window)
{
    const QMap<QString, bool> flags = enabledFlags(window);
    QStringList unlike;
    for (const char *name : {"Open_pushButton", "refresh_pushButton"}) {
        if (!flags.value(QLatin1String(name)))
            unlike << QLatin1String(name);
    }
    QStringList off = {"Close_pushButton", "Run_pushButton", "Sto_pushButton", "set_pushButton",
                       "Defaults_set",     "Defaults_read",  "OpenFirmware"};
    for (int number = 1; number <= 25; ++number)
        off << QStringLiteral("pushButton_%1").arg(number);
    for (const QString &name : off) {
        if (flags.value(name, true))
            unlike << name;
    }
    return unlike;
}

} // namespace testsupport
