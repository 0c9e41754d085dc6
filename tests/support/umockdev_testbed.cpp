// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

// GLib's headers use "signals" as a name, which Qt defines as a keyword: they come first.
#include <umockdev.h>

#include "umockdev_testbed.h"

#include "device_link/device_contract.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QtGlobal>

#include <algorithm>

#ifndef KALDORIUM_DEVICES_DIR
#error "KALDORIUM_DEVICES_DIR must name tests/devices"
#endif

namespace testsupport {

namespace {

// Where a link to nowhere hides a node of the host.
const QString kNowhere = QStringLiteral("absent");

QString gchars(gchar *text)
{
    const QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

} // namespace

QByteArray device_description(const QString &name, const QMap<QString, QString> &renamed)
{
    QFile file(QStringLiteral(KALDORIUM_DEVICES_DIR "/") + name + QStringLiteral(".umockdev"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    QByteArray text;
    bool blank = true; // no blank line at the start, none doubled where comments were
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith('#'))
            continue;
        if (line.trimmed().isEmpty()) {
            if (!blank)
                text += '\n';
            blank = true;
            continue;
        }
        text += line + '\n';
        blank = false;
    }
    for (auto it = renamed.cbegin(); it != renamed.cend(); ++it)
        text.replace(it.key().toUtf8(), it.value().toUtf8());
    return text;
}

QList<QString> device_paths(const QString &name, const QMap<QString, QString> &renamed)
{
    QList<QString> paths;
    for (const QByteArray &line : device_description(name, renamed).split('\n')) {
        if (line.startsWith("P: "))
            paths.append(QString::fromUtf8(line.mid(3)));
    }
    return paths;
}

QMap<QString, QString> moved_to(int port, QMap<QString, QString> renamed)
{
    const QString number = QString::number(port);
    const QString usbNumber = QString::number(100 + port);
    renamed.insert(QStringLiteral("/1-2"), QStringLiteral("/1-") + number); // paths, links
    renamed.insert(QStringLiteral("ttyACM0"), QStringLiteral("ttyACM") + number);
    renamed.insert(QStringLiteral("dev=166:0"), QStringLiteral("dev=166:") + number);
    for (const char *usb : {"001/002", "001/003"})
        renamed.insert(QString::fromLatin1(usb), QStringLiteral("001/") + usbNumber);
    for (const char *usb : {"dev=189:1", "dev=189:2"})
        renamed.insert(QString::fromLatin1(usb), QStringLiteral("dev=189:") + usbNumber);
    return renamed;
}

UmockdevTestbed::UmockdevTestbed() : testbed_(umockdev_testbed_new())
{
    hideNodes();
}

UmockdevTestbed::~UmockdevTestbed()
{
    g_object_unref(testbed_);
}

bool UmockdevTestbed::preloaded()
{
    return qEnvironmentVariable("LD_PRELOAD").contains(QLatin1String("libumockdev-preload"));
}

bool UmockdevTestbed::udevRuns()
{
    return QFile::exists(QStringLiteral("/run/udev/control"));
}

void UmockdevTestbed::add(const QString &name, const QMap<QString, QString> &renamed)
{
    const auto load = [this](const QString &what, const QByteArray &text) {
        GError *error = nullptr;
        if (!umockdev_testbed_add_from_string(testbed_, text.constData(), &error))
            qFatal("tests/devices/%s.umockdev: %s", qPrintable(what), error->message);
    };
    if (!hostAdded_)
        load(QStringLiteral("usb-host"), device_description(QStringLiteral("usb-host")));
    hostAdded_ = true;
    load(name, device_description(name, renamed));
}

void UmockdevTestbed::remove(const QString &name, const QMap<QString, QString> &renamed)
{
    // The deepest first: umockdev leaves a removed device's children in /sys/class and /dev.
    QList<QString> paths = device_paths(name, renamed);
    std::sort(paths.begin(), paths.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
    for (const QString &path : paths)
        umockdev_testbed_remove_device(testbed_, qPrintable(QStringLiteral("/sys") + path));
}

void UmockdevTestbed::linkNode(const QString &node, const QString &target)
{
    const QString link = root() + QStringLiteral("/dev/") + node;
    QFile::remove(link);
    if (!QFile::link(target.isEmpty() ? kNowhere : target, link))
        qFatal("cannot link %s", qPrintable(link));
}

int UmockdevTestbed::deviceEnd(const QString &node) const
{
    return umockdev_testbed_get_dev_fd(testbed_, qPrintable(node));
}

QString UmockdevTestbed::root() const
{
    return gchars(umockdev_testbed_get_root_dir(testbed_));
}

QString UmockdevTestbed::sysDirectory() const
{
    return gchars(umockdev_testbed_get_sys_dir(testbed_));
}

void UmockdevTestbed::hideNodes()
{
    QDir().mkpath(root() + QStringLiteral("/dev"));
    for (const contract::AddressKey &key : contract::kAddressKeys)
        linkNode(QString::fromLatin1(key.node), QString());
}

} // namespace testsupport
