// SPDX-FileCopyrightText: 2026 Holmcraft
//
// SPDX-License-Identifier: GPL-3.0-or-later

#include "message_recorder.h"

#include <QLoggingCategory>
#include <QMutex>
#include <QTest>

namespace testsupport {

namespace {

struct Record {
    QMutex mutex;
    QByteArray bytes;
    QStringList otherDebug;
    QStringList complaints;
};

Record record;
bool recording = false;
bool debug_switched_on = false;
QtMessageHandler previous_handler = nullptr;
QLoggingCategory::CategoryFilter previous_filter = nullptr;

// The byte a per-byte message of the receive path names, or -1 for any other message.
int received_byte(const QMessageLogContext &context, const QString &text)
{
    if (!context.function || qstrcmp(context.function, "void MainWindow::readData()") != 0 ||
        !context.category || qstrcmp(context.category, "default") != 0)
        return -1;
    // The byte in decimal, as QString::number() writes it.
    if (text.isEmpty() || text.size() > 3 || (text.size() > 1 && text.front() == QLatin1Char('0')))
        return -1;
    int value = 0;
    for (const QChar digit : text) {
        if (digit < QLatin1Char('0') || digit > QLatin1Char('9'))
            return -1;
        value = value * 10 + (digit.unicode() - '0');
    }
    return value <= 255 ? value : -1;
}

void record_message(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    {
        QMutexLocker lock(&record.mutex);
        if (type != QtDebugMsg) {
            record.complaints.append(text);
        } else {
            const int byte = received_byte(context, text);
            if (byte >= 0)
                record.bytes.append(char(byte));
            else
                record.otherDebug.append(text);
        }
    }
    if ((type != QtDebugMsg || !debug_switched_on) && previous_handler)
        previous_handler(type, context, text);
}

// The run's logging rules outrank QLoggingCategory::setFilterRules(); a filter switches the
// default category on anyway, after the rules' own filter has had its say.
void switch_default_debug_on(QLoggingCategory *category)
{
    if (previous_filter)
        previous_filter(category);
    if (qstrcmp(category->categoryName(), "default") == 0)
        category->setEnabled(QtDebugMsg, true);
}

} // namespace

MessageRecorder::MessageRecorder(Debug debug)
{
    if (recording)
        qFatal("one MessageRecorder at a time");
    recording = true;
    clear();
    previous_handler = qInstallMessageHandler(record_message);
    debug_switched_on = debug == Debug::On;
    if (debug_switched_on) {
        // Installing a filter runs it at once for every category, so the rules' own filter
        // has to be known first.
        previous_filter = QLoggingCategory::installFilter(nullptr);
        QLoggingCategory::installFilter(switch_default_debug_on);
    }
}

MessageRecorder::~MessageRecorder()
{
    if (debug_switched_on)
        QLoggingCategory::installFilter(previous_filter);
    qInstallMessageHandler(previous_handler);
    previous_filter = nullptr;
    previous_handler = nullptr;
    debug_switched_on = false;
    recording = false;
}

QByteArray MessageRecorder::receivedBytes() const
{
    QMutexLocker lock(&record.mutex);
    return record.bytes;
}

bool MessageRecorder::waitForReceivedBytes(int total, int timeoutMs) const
{
    return QTest::qWaitFor(
        [total] {
            QMutexLocker lock(&record.mutex);
            return record.bytes.size() >= total;
        },
        timeoutMs);
}

QStringList MessageRecorder::otherDebugMessages() const
{
    QMutexLocker lock(&record.mutex);
    return record.otherDebug;
}

QStringList MessageRecorder::complaints() const
{
    QMutexLocker lock(&record.mutex);
    return record.complaints;
}

void MessageRecorder::clear()
{
    QMutexLocker lock(&record.mutex);
    record.bytes.clear();
    record.otherDebug.clear();
    record.complaints.clear();
}

} // namespace testsupport
