// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "high_dpi_scaling.h"

#include <QByteArray>
#include <QGuiApplication>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0) && defined(KALDORIUM_HAVE_XCB)
#include <xcb/xcb.h>

#include <cstdlib>
#endif

namespace {

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0) && defined(KALDORIUM_HAVE_XCB)

bool will_run_on_x11()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    return !qEnvironmentVariableIsEmpty("DISPLAY") &&
           (platform.isEmpty() || platform.startsWith("xcb"));
}

// True when the X server is reachable and its resource database holds no Xft.dpi, the
// setting by which desktops give their scale (96 per 100 %).
bool x_server_without_dpi_setting()
{
    int screen_number = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screen_number);
    bool without = false;
    if (!xcb_connection_has_error(connection)) {
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screen_number && screens.rem > 0; ++i)
            xcb_screen_next(&screens);
        const xcb_get_property_cookie_t cookie =
            xcb_get_property(connection, 0, screens.data->root, XCB_ATOM_RESOURCE_MANAGER,
                             XCB_ATOM_STRING, 0, 1 << 20);
        if (xcb_get_property_reply_t *reply = xcb_get_property_reply(connection, cookie, nullptr)) {
            const QByteArray resources(static_cast<const char *>(xcb_get_property_value(reply)),
                                       xcb_get_property_value_length(reply));
            std::free(reply);
            without = true;
            for (const QByteArray &line : resources.split('\n')) {
                if (line.startsWith("Xft.dpi:") && line.mid(8).trimmed().toDouble() > 0)
                    without = false;
            }
        }
    }
    xcb_disconnect(connection);
    return without;
}

#endif

} // namespace

void enable_high_dpi_scaling()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // Qt 5 rounds to whole factors by default (150 % would draw at 200 %); Qt 6 passes the
    // screen's factor through.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#ifdef KALDORIUM_HAVE_XCB
    // Where no Xft.dpi is set (a bare window manager, Xvfb), Qt 5 would scale by the DPI the
    // monitor's size gives (1.04 on Xvfb, 1.5 on a 15" full-HD laptop); Qt 6 takes 96 DPI,
    // the 100 % of the desktops, and so does the window here.
    if (qEnvironmentVariableIsEmpty("QT_FONT_DPI") && will_run_on_x11() &&
        x_server_without_dpi_setting())
        qputenv("QT_FONT_DPI", "96");
#endif
#endif
}
