#pragma once

// Measuring a benchmark and printing what it found.

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>

namespace kolta::bench {

// Where the results go (standard output).
extern QTextStream out;

// A value of a /proc/<pid>/status line in kB ("VmHWM", "VmRSS"); -1 when
// unknown. pid 0: this process.
qint64 statusKb(qint64 pid, const char *key);
// kB as "12.3 MB", "?" when unknown.
QString mb(qint64 kb);
// Starts a new peak for VmHWM of this process.
void resetPeak();

double ms(const QElapsedTimer &timer);
double median(QList<double> values);
QString fmt(double value, int decimals = 1);

// Prints rows of cells with the columns padded to their widest cell.
void table(const QList<QStringList> &rows);
// Reports a failure; returns the program's exit status for it.
int fail(const QString &what);
// Runs write (which returns an error text, empty on success) and reports
// how long it took; -1 when it failed.
int timed(const QString &label, const std::function<QString()> &write);

} // namespace kolta::bench
