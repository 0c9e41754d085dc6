// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "high_dpi_scaling.h"
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    enable_high_dpi_scaling(); // Qt 5 reads it when the application object is made
    QApplication application(argc, argv);
    // Pairs the window with its desktop entry and icon (Wayland needs it).
    QGuiApplication::setDesktopFileName(QStringLiteral("example.holmcraft.KaldoriumLptTool"));
    MainWindow window;
    window.show();
    return application.exec();
}
