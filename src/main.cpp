// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Pairs the window with its desktop entry and icon (Wayland needs it).
    QGuiApplication::setDesktopFileName(QStringLiteral("example.holmcraft.KaldoriumLptTool"));
    MainWindow window;
    window.show();
    return application.exec();
}
