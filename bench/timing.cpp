#include "timing.h"

#include <QFile>

#include <algorithm>

namespace kolta::bench {

QTextStream out(stdout);

qint64 statusKb(qint64 pid, const char *key)
{
    QFile file(pid ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

QString mb(qint64 kb)
{
    return kb < 0 ? QStringLiteral("?") : QString::number(kb / 1024.0, 'f', 1) + QStringLiteral(" MB");
}

void resetPeak()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (file.open(QIODevice::WriteOnly))
        file.write("5");
}

double ms(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

QString fmt(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

void table(const QList<QStringList> &rows)
{
    QList<int> widths;
    for (const QStringList &row : rows) {
        for (int i = 0; i < row.size(); ++i) {
            if (i >= widths.size())
                widths.append(0);
            widths[i] = qMax(widths[i], int(row.at(i).size()));
        }
    }
    for (const QStringList &row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i)
            line += (i ? QStringLiteral("  ") : QString()) + (i ? row.at(i).rightJustified(widths[i]) : row.at(i).leftJustified(widths[i]));
        out << line << "\n";
    }
    out << Qt::flush;
}

int fail(const QString &what)
{
    out << "sqlbench: " << what << Qt::endl;
    return 1;
}

int timed(const QString &label, const std::function<QString()> &write)
{
    QElapsedTimer timer;
    timer.start();
    const QString error = write();
    if (!error.isEmpty()) {
        fail(QStringLiteral("cannot write %1: %2").arg(label, error));
        return -1;
    }
    out << "wrote " << label << " in " << fmt(ms(timer) / 1000.0, 2) << " s" << Qt::endl;
    return 0;
}

} // namespace kolta::bench
