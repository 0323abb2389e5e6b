// Times opening a database and reading every table definition and field
// through the engine, next to mdb-schema on the same file in the same run.
//
//   jetbench [FILE] [RUNS]   without FILE, a 200-table x 20-column file is
//                            written to a temporary folder first
//   jetbench rows [COUNT]    reading every row of a COUNT-row table (100,000
//                            by default) through the SQL tables, next to
//                            mdb-export

#include "jetwriter.h"
#include "dao.h"
#include "jettables.h"
#include "engineclient.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>

#include <algorithm>

using namespace kolta;

namespace {

QString writeWide(const QString &path)
{
    jetwriter::Database db;
    for (int t = 0; t < 200; ++t) {
        jetwriter::Table table;
        table.name = QStringLiteral("T%1").arg(t, 3, 10, QLatin1Char('0'));
        for (int c = 0; c < 20; ++c) {
            const bool text = c % 2 == 1;
            table.columns.append({QStringLiteral("C%1").arg(c, 2, 10, QLatin1Char('0')),
                                  text ? jetwriter::ColumnType::Text : jetwriter::ColumnType::Long,
                                  text ? 30 : 0});
        }
        db.tables.append(table);
    }
    return jetwriter::write(path, db);
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// Open, list, and read every definition; returns the number of fields read
// or -1 on an error.
int readAll(jet::DBEngine &engine, const QString &path)
{
    auto db = engine.OpenDatabase(path);
    if (!db.ok())
        return -1;
    const auto tables = db.value()->TableDefs();
    if (!tables.ok())
        return -1;
    int fields = 0;
    for (const jet::TableDef &table : tables.value()) {
        const auto def = db.value()->TableDefsItem(table.Name);
        if (!def.ok())
            return -1;
        fields += int(def.value().Fields.size());
    }
    return fields;
}

// The same in one request.
int readAllAtOnce(jet::DBEngine &engine, const QString &path)
{
    auto db = engine.OpenDatabase(path);
    if (!db.ok())
        return -1;
    const auto tables = db.value()->TableDefsWithFields();
    if (!tables.ok())
        return -1;
    int fields = 0;
    for (const jet::TableDef &table : tables.value())
        fields += int(table.Fields.size());
    return fields;
}

// Writes a table of count rows, reads them all through SQLite and with
// mdb-export, and prints the times.
int rows(QTextStream &out, qint64 count)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rows.mdb"));
    jetwriter::Table shape;
    shape.name = QStringLiteral("Big");
    shape.columns = {{QStringLiteral("ID"), jetwriter::ColumnType::Long},
                     {QStringLiteral("Name"), jetwriter::ColumnType::Text, 50},
                     {QStringLiteral("Amount"), jetwriter::ColumnType::Double},
                     {QStringLiteral("When"), jetwriter::ColumnType::DateTime},
                     {QStringLiteral("Flag"), jetwriter::ColumnType::YesNo}};
    const QString error = jetwriter::writeLarge(path, shape, count, [](qint64 i) {
        return jetwriter::Row{i + 1, QStringLiteral("Name %1").arg(i + 1), double(i) / 100.0,
                              QDateTime(QDate(2020, 1, 1), QTime(8, 0)).addSecs(i * 60), i % 3 == 0};
    });
    if (!error.isEmpty()) {
        out << "cannot write the benchmark file: " << error << Qt::endl;
        return 1;
    }
    const auto file = jet::engine::JetFile::open(path);
    const auto entries = file.ok() ? file.value()->readCatalog() : file.error();
    if (!entries.ok()) {
        out << "cannot read " << path << ": " << entries.error().message << Qt::endl;
        return 1;
    }
    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    jet::engine::registerJetModule(db, file.value().get());
    for (const auto &entry : entries.value()) {
        // A table that cannot be made shows as no rows read.
        if (entry.name == QLatin1String("Big"))
            static_cast<void>(jet::engine::createJetTable(db, entry.name, entry));
    }
    QElapsedTimer timer;
    timer.start();
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM Big", -1, &statement, nullptr);
    qint64 read = 0;
    double firstRowMs = -1;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        for (int i = 0; i < 5; ++i)
            sqlite3_column_value(statement, i);
        if (read++ == 0)
            firstRowMs = timer.nsecsElapsed() / 1e6;
    }
    const double sqlMs = timer.nsecsElapsed() / 1e6;
    sqlite3_finalize(statement);
    sqlite3_close(db);

    QProcess mdbExport;
    mdbExport.setStandardOutputFile(QProcess::nullDevice());
    timer.start();
    mdbExport.start(QStringLiteral("mdb-export"), {path, QStringLiteral("Big")});
    mdbExport.waitForFinished(600000);
    const double exportMs = timer.nsecsElapsed() / 1e6;
    out << "rows: " << read << " of " << count << "\n"
        << "SQL tables, first row:  " << firstRowMs << " ms\n"
        << "SQL tables, every row:  " << sqlMs << " ms\n"
        << "mdb-export, every row:  " << exportMs << " ms" << Qt::endl;
    return read == count ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("rows"))
        return rows(out, args.value(1, QStringLiteral("100000")).toLongLong());
    QTemporaryDir dir;
    QString path = args.value(0);
    const int runs = qMax(1, args.value(1, QStringLiteral("20")).toInt());
    if (path.isEmpty()) {
        path = dir.filePath(QStringLiteral("wide.mdb"));
        const QString error = writeWide(path);
        if (!error.isEmpty()) {
            out << "cannot write the benchmark file: " << error << Qt::endl;
            return 1;
        }
    }

    QList<double> cold, warm, batch, schema;
    int fields = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        {
            // A new engine object starts its own process: the first use.
            // Every definition is asked for on its own, as the browser does.
            jet::DBEngine engine;
            timer.start();
            fields = readAll(engine, path);
            cold.append(timer.nsecsElapsed() / 1e6);
            // The process is running now: a later use in the same session.
            timer.start();
            readAll(engine, path);
            warm.append(timer.nsecsElapsed() / 1e6);
            timer.start();
            if (readAllAtOnce(engine, path) != fields)
                fields = -1;
            batch.append(timer.nsecsElapsed() / 1e6);
        }
        if (fields < 0) {
            out << "the engine could not read " << path << Qt::endl;
            return 1;
        }
        QProcess mdbSchema;
        mdbSchema.setStandardOutputFile(QProcess::nullDevice());
        timer.start();
        mdbSchema.start(QStringLiteral("mdb-schema"), {path});
        if (!mdbSchema.waitForFinished(60000) || mdbSchema.exitCode() != 0) {
            out << "mdb-schema failed on " << path << Qt::endl;
            return 1;
        }
        schema.append(timer.nsecsElapsed() / 1e6);
    }
    out << "file: " << path << " (" << fields << " fields)\n"
        << "runs: " << runs << "\n"
        << "engine, first use (starts the process): median " << median(cold) << " ms\n"
        << "engine, process already running:        median " << median(warm) << " ms\n"
        << "engine, running, all fields in 1 request: median " << median(batch) << " ms\n"
        << "mdb-schema (one process per run):       median " << median(schema) << " ms" << Qt::endl;
    return 0;
}
