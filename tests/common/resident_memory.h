#pragma once
// What the test process holds in memory now, for tests of inputs made to
// take it: the growth over a step tells what the step kept.

#include <QByteArray>
#include <QFile>
#include <QList>

// The resident set in MB, from /proc/self/status; -1 when unreadable.
inline qint64 ResidentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024;
    return -1;
}
