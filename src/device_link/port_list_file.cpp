// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "port_list_file.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

namespace {

// An exclusive lock on PATH.lock for as long as it lives. The lock file may be removed by
// the last writer; whoever then holds the lock of a removed file tries again on the new one.
class ListLock {
public:
    explicit ListLock(const QString &path)
        : path_(QFile::encodeName(path + QStringLiteral(".lock")))
    {
        for (;;) {
            fd_ = ::open(path_.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            if (fd_ < 0) {
                errno_ = errno;
                return;
            }
            int locked;
            do
                locked = ::flock(fd_, LOCK_EX);
            while (locked != 0 && errno == EINTR);
            struct stat held = {};
            struct stat named = {};
            if (locked == 0 && ::fstat(fd_, &held) == 0 && ::stat(path_.constData(), &named) == 0 &&
                held.st_dev == named.st_dev && held.st_ino == named.st_ino)
                return;
            errno_ = errno;
            ::close(fd_);
            fd_ = -1;
            if (locked != 0)
                return;
        }
    }
    ~ListLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    ListLock(const ListLock &) = delete;
    ListLock &operator=(const ListLock &) = delete;

    bool held() const { return fd_ >= 0; }
    QString error() const
    {
        return QString::fromLocal8Bit(path_) + QStringLiteral(": ") +
               QString::fromLocal8Bit(std::strerror(errno_));
    }
    void removeFile() const { ::unlink(path_.constData()); }

private:
    QByteArray path_;
    int fd_ = -1;
    int errno_ = 0;
};

} // namespace

bool read_port_list(const QString &path, PortList *list, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    PortList read;
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n'));
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() == 2 && fields[0] == QLatin1String("nodes")) {
            read.nodeDirectory = fields[1];
        } else if ((fields.size() == 4 || fields.size() == 5) &&
                   fields[0] == QLatin1String("port")) {
            SerialPortEntry entry;
            entry.portName = fields[1];
            entry.manufacturer = fields[2];
            entry.description = fields[3];
            entry.serialNumber = fields.value(4);
            read.ports.append(entry);
        } else {
            *error =
                QStringLiteral("%1:%2: expected \"nodes<TAB>DIR\" or "
                               "\"port<TAB>NAME<TAB>MANUFACTURER<TAB>DESCRIPTION[<TAB>SERIAL]\"")
                    .arg(path)
                    .arg(number);
            return false;
        }
    }
    *list = read;
    return true;
}

bool write_port_list(const QString &path, const PortList &list, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    QString text;
    if (!list.nodeDirectory.isEmpty())
        text += QStringLiteral("nodes\t") + list.nodeDirectory + QLatin1Char('\n');
    for (const SerialPortEntry &port : list.ports) {
        text += QStringLiteral("port\t") + port.portName + QLatin1Char('\t') + port.manufacturer +
                QLatin1Char('\t') + port.description;
        if (!port.serialNumber.isEmpty())
            text += QLatin1Char('\t') + port.serialNumber;
        text += QLatin1Char('\n');
    }
    file.write(text.toUtf8());
    if (!file.commit()) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}

bool update_port_list(const QString &path, const std::function<void(PortList &)> &change,
                      QString *error)
{
    const ListLock lock(path);
    if (!lock.held()) {
        *error = lock.error();
        return false;
    }
    PortList list;
    if (QFile::exists(path) && !read_port_list(path, &list, error))
        return false;
    change(list);
    if (!list.ports.isEmpty())
        return write_port_list(path, list, error);
    if (QFile::exists(path) && !QFile::remove(path)) {
        *error = path + QStringLiteral(": cannot remove it");
        return false;
    }
    lock.removeFile();
    return true;
}

QString port_list_from_environment()
{
    return qEnvironmentVariable(kPortListVariable);
}

bool apply_port_list_from_environment(QString *error)
{
    const QString path = port_list_from_environment();
    if (path.isEmpty())
        return true;
    PortList list;
    if (QFile::exists(path) && !read_port_list(path, &list, error))
        return false;
    set_device_node_directory(list.nodeDirectory);
    set_port_enumerator([path, last = list]() mutable {
        PortList now;
        QString ignored;
        if (!QFile::exists(path))
            now.nodeDirectory = last.nodeDirectory; // no ports, until one is announced
        else if (!read_port_list(path, &now, &ignored))
            now = last; // caught mid-edit by a hand that does not rename: as last read
        last = now;
        set_device_node_directory(now.nodeDirectory);
        return now.ports;
    });
    return true;
}

} // namespace host
