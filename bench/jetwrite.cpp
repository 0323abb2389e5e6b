// Writes Jet 4 benchmark databases with the test fixture writer.

#include "benchdata.h"
#include "jetwriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QStringList>
#include <QTextStream>

using namespace kolta::jetwriter;

namespace {

const char *const Usage =
    "usage: jetwrite big OUT.mdb ROWS   one table Big (ID Long, Name Text(50), Amount Double,\n"
    "                                   When DateTime, Flag Yes/No) with ROWS rows, primary\n"
    "                                   key on ID, index on Name\n"
    "       jetwrite wide OUT.mdb       200 tables T000..T199, 20 columns and 10 rows each\n"
    "       jetwrite join OUT.mdb       Orders (100,000 rows) and Customers (10,000 rows)\n"
    "                                   sharing the key CustomerID: primary keys on\n"
    "                                   Customers.CustomerID and Orders.OrderID, index on\n"
    "                                   Orders.CustomerID\n";

QString wide(const QString &out)
{
    Database db;
    for (int t = 0; t < 200; ++t) {
        Table table;
        table.name = QStringLiteral("T%1").arg(t, 3, 10, QLatin1Char('0'));
        for (int c = 0; c < 20; ++c) {
            const bool text = c % 2 == 1;
            table.columns.append({QStringLiteral("C%1").arg(c, 2, 10, QLatin1Char('0')),
                                  text ? ColumnType::Text : ColumnType::Long, text ? 30 : 0});
        }
        for (int r = 0; r < 10; ++r) {
            Row row;
            for (int c = 0; c < 20; ++c)
                row.append(c % 2 == 1 ? QVariant(QStringLiteral("r%1c%2").arg(r).arg(c)) : QVariant(r * 100 + c));
            table.rows.append(row);
        }
        db.tables.append(table);
    }
    return write(out, db);
}

QString join(const QString &out)
{
    return kolta::bench::writeJoin(out, kolta::bench::joinData(), kolta::bench::Indexes::Keys);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTextStream err(stderr);
    QString error;
    QElapsedTimer timer;
    timer.start();
    if (args.size() == 3 && args.at(0) == QLatin1String("big")) {
        bool ok = false;
        const qint64 rows = args.at(2).toLongLong(&ok);
        if (!ok || rows < 0) {
            err << Usage;
            return 2;
        }
        // Streamed: only the index entries, not the rows, stay in memory.
        error = kolta::bench::writeBig(args.at(1), rows, kolta::bench::Indexes::Keys);
    } else if (args.size() == 2 && args.at(0) == QLatin1String("wide")) {
        error = wide(args.at(1));
    } else if (args.size() == 2 && args.at(0) == QLatin1String("join")) {
        error = join(args.at(1));
    } else {
        err << Usage;
        return 2;
    }
    if (!error.isEmpty()) {
        err << "jetwrite: " << error << "\n";
        return 1;
    }
    err << "wrote " << args.at(1) << " in " << timer.elapsed() << " ms\n";
    return 0;
}
