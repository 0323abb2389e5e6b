// The file's indexes may only make statements faster: over every index of
// every table of the real Access files, each statement gives the same rows
// through the index as through a scan, in the same order where it orders.

#include "jetindex.h"
#include "jetwriter.h"
#include "opendatabase.h"
#include "statement.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <algorithm>

using namespace kolta;
using namespace kolta::jet;

namespace {

const QString Corpus = qEnvironmentVariable("KOLTA_SHARED_MDB", QStringLiteral(KOLTA_SHARED_MDB));

QString bracketed(const QString &name)
{
    return QLatin1Char('[') + name + QLatin1Char(']');
}

struct Run
{
    QList<QStringList> rows;
    QStringList indexes;   // what the statement read through
    QString error;
};

Run run(engine::OpenDatabase &database, const QString &sql, bool indexes)
{
    Run result;
    auto current = database.current();
    if (!current.ok()) {
        result.error = current.error().message;
        return result;
    }
    engine::JetFile::IndexUse &use = current.value().file->indexUse();
    use.enabled = indexes;
    use.recording = true;
    use.used.clear();
    auto prepared = engine::Statement::prepare(database, sql, engine::Statement::Form::Raw);
    if (!prepared.ok()) {
        result.error = prepared.error().message;
        return result;
    }
    const Result<bool> done = prepared.value()->each([&](const QVariantList &row) {
        QStringList texts;
        for (const QVariant &v : row)
            texts << (v.isNull() ? QStringLiteral("<null>") : v.toString());
        result.rows << texts;
    });
    if (!done.ok())
        result.error = done.error().message;
    result.indexes = use.used;
    use.enabled = true;
    return result;
}

// A literal for a value as the raw form gives it.
QString literal(const QString &raw, bool date)
{
    return date ? QLatin1Char('#') + raw + QLatin1Char('#') : raw;
}

struct Tally
{
    int statements = 0;
    int throughIndex = 0;
};

} // namespace

class IndexTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void indexesMatchScans_data();
    void indexesMatchScans();
    void damagedIndexGivesNoWrongRow_data();
    void damagedIndexGivesNoWrongRow();

private:
    QTemporaryDir m_dir;
    QString m_written;
};

// A file of the fixture writer's, with several levels of index pages: the
// reader and the writer are checked against each other as against Access.
void IndexTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    using namespace kolta::jetwriter;
    Table table;
    table.name = QStringLiteral("Written");
    table.columns = {{QStringLiteral("ID"), ColumnType::Long},
                     {QStringLiteral("Name"), ColumnType::Text, 50},
                     {QStringLiteral("Amount"), ColumnType::Double},
                     {QStringLiteral("When"), ColumnType::DateTime}};
    for (int i = 0; i < 3000; ++i)
        table.rows.append(Row{i + 1, QStringLiteral("Name %1").arg(i * 7919 % 3000), i % 11 ? QVariant(double(i % 97) * 1.5 - 40) : QVariant(),
                              QDateTime(QDate(2020, 1, 1), QTime(8, 0)).addSecs(qint64(i % 500) * 3600)});
    Index primary{QStringLiteral("PrimaryKey"), {{QStringLiteral("ID")}}};
    primary.primary = true;
    table.indexes = {primary, Index{QStringLiteral("Name"), {{QStringLiteral("Name")}}},
                     Index{QStringLiteral("Amount"), {{QStringLiteral("Amount"), false}}},
                     Index{QStringLiteral("When"), {{QStringLiteral("When")}}}};
    Database db;
    db.tables = {table};
    m_written = m_dir.filePath(QStringLiteral("written.mdb"));
    QCOMPARE(write(m_written, db), QString());
}

void IndexTest::indexesMatchScans_data()
{
    QTest::addColumn<QString>("file");
    const QStringList files =
        QDir(Corpus).entryList({QStringLiteral("*.mdb"), QStringLiteral("*.accdb"), QStringLiteral("*.mdw")}, QDir::Files);
    for (const QString &name : files)
        QTest::newRow(name.toUtf8().constData()) << Corpus + QLatin1Char('/') + name;
    QTest::newRow("written by the fixture writer") << m_written;
}

void IndexTest::indexesMatchScans()
{
    QFETCH(QString, file);
    engine::OpenDatabase database(file);
    if (!database.open(QString(), QStringLiteral("Admin"), QString()).ok())
        QSKIP("not a database that opens alone");
    auto current = database.current();
    QVERIFY(current.ok());
    std::shared_ptr<engine::JetFile> jetFile = current.value().file;
    Tally tally;
    for (const engine::CatalogEntry &entry : current.value().tables) {
        if (entry.type != engine::LocalTable)
            continue;
        // The table's indexes, read as the engine reads them.
        MdbHandle *mdb = jetFile->handle();
        MdbCatalogEntry catalogEntry;
        std::memset(&catalogEntry, 0, sizeof(catalogEntry));
        catalogEntry.mdb = mdb;
        catalogEntry.object_type = MDB_TABLE;
        catalogEntry.table_pg = entry.id & 0x00ffffff;
        mdb->cur_pg = 0;
        MdbTableDef *definition = mdb_read_table(&catalogEntry);
        if (!definition)
            continue;
        QList<engine::IndexDefinition> indexes;
        QStringList columnNames;
        QList<int> columnTypes;
        if (mdb_read_columns(definition)) {
            indexes = engine::readIndexes(mdb, definition);
            for (guint i = 0; i < definition->columns->len; ++i) {
                const auto *column = static_cast<const MdbColumn *>(g_ptr_array_index(definition->columns, i));
                columnNames << QString::fromUtf8(column->name);
                columnTypes << column->col_type;
            }
        }
        mdb_free_tabledef(definition);

        const QString table = bracketed(entry.name);
        for (const engine::IndexDefinition &index : std::as_const(indexes)) {
            const int column = index.columns.first().column;
            const int type = columnTypes.at(column);
            if (!engine::keyTypeSupported(type, index.columns.first()))
                continue;
            const bool date = type == MDB_DATETIME;
            const bool text = type == MDB_TEXT;
            const QString name = bracketed(columnNames.at(column));
            // The values stored, in the order a scan sorts them.
            const Run stored = run(database, QStringLiteral("SELECT DISTINCT %1 FROM %2 WHERE %1 IS NOT NULL ORDER BY %1")
                                                 .arg(name, table), false);
            QVERIFY2(stored.error.isEmpty(), qPrintable(stored.error));
            QStringList values;
            for (const QStringList &row : stored.rows) {
                QString value = row.first();
                values << (text ? QLatin1Char('\'') + value.replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\'')
                                : literal(value, date));
            }
            QStringList probes = values;
            // Values between and beyond the stored ones.
            if (text) {
                probes << QStringLiteral("''") << QStringLiteral("'zzz'") << QStringLiteral("'A'") << QStringLiteral("' a'");
                for (qsizetype i = 0; i < stored.rows.size(); i += qMax<qsizetype>(1, stored.rows.size() / 8))
                    probes << QLatin1Char('\'') + stored.rows.at(i).first().toUpper().replace(QLatin1Char('\''), QLatin1String("''"))
                                  + QLatin1String("x'");
            } else if (!date) {
                for (qsizetype i = 0; i + 1 < stored.rows.size(); i += qMax<qsizetype>(1, stored.rows.size() / 8))
                    probes << QString::number((stored.rows.at(i).first().toDouble() + stored.rows.at(i + 1).first().toDouble()) / 2, 'g', 17);
                probes << QStringLiteral("-1e300") << QStringLiteral("1e300") << QStringLiteral("0") << QStringLiteral("-1")
                       << QStringLiteral("0.5");
            }
            const QString low = values.value(0, QStringLiteral("0"));
            const QString middle = values.value(values.size() / 2, QStringLiteral("0"));
            const QString high = values.value(values.size() - 1, QStringLiteral("0"));
            QStringList statements;
            statements << QStringLiteral("SELECT * FROM %1 WHERE %2 IN (%3)").arg(table, name, probes.join(QLatin1Char(',')));
            if (!text) {
                for (const QString &op : {QStringLiteral(">"), QStringLiteral(">="), QStringLiteral("<"), QStringLiteral("<=")})
                    for (const QString &pivot : {low, middle, high})
                        statements << QStringLiteral("SELECT * FROM %1 WHERE %2 %3 %4").arg(table, name, op, pivot);
                statements << QStringLiteral("SELECT * FROM %1 WHERE %2 BETWEEN %3 AND %4").arg(table, name, low, middle)
                           << QStringLiteral("SELECT * FROM %1 WHERE %2 BETWEEN %3 AND %4").arg(table, name, middle, high)
                           << QStringLiteral("SELECT * FROM %1 WHERE %2 > %3 AND %2 < %4 ORDER BY %2 DESC").arg(table, name, low, high)
                           << QStringLiteral("SELECT * FROM %1 WHERE %2 >= %3 ORDER BY %2").arg(table, name, middle);
            }
            statements << QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(table, name)
                       << QStringLiteral("SELECT * FROM %1 ORDER BY %2 DESC").arg(table, name)
                       << QStringLiteral("SELECT TOP 3 * FROM %1 ORDER BY %2 DESC").arg(table, name)
                       << QStringLiteral("SELECT * FROM %1 WHERE %2 IS NULL").arg(table, name)
                       << QStringLiteral("SELECT * FROM %1 WHERE %2 IS NOT NULL ORDER BY %2 DESC").arg(table, name);
            for (const QString &sql : std::as_const(statements)) {
                const Run scanned = run(database, sql, false);
                const Run indexed = run(database, sql, true);
                ++tally.statements;
                tally.throughIndex += indexed.indexes.isEmpty() ? 0 : 1;
                QVERIFY2(scanned.indexes.isEmpty(), qPrintable(sql));
                QVERIFY2(indexed.error == scanned.error, qPrintable(sql + QLatin1String(": ") + indexed.error + QLatin1String(" | ") + indexed.indexes.join(QLatin1Char(','))));
                if (sql.contains(QLatin1String("ORDER BY"))) {
                    // Ties may come in any order; the sorted column may not.
                    QStringList scannedKeys, indexedKeys;
                    for (const QStringList &row : scanned.rows)
                        scannedKeys << (text ? row.at(column).toLower() : row.at(column));
                    for (const QStringList &row : indexed.rows)
                        indexedKeys << (text ? row.at(column).toLower() : row.at(column));
                    QVERIFY2(indexedKeys == scannedKeys, qPrintable(sql));
                }
                QList<QStringList> a = scanned.rows, b = indexed.rows;
                if (!sql.contains(QLatin1String("TOP"))) {
                    std::sort(a.begin(), a.end());
                    std::sort(b.begin(), b.end());
                    QVERIFY2(a == b, qPrintable(sql + QStringLiteral(" (%1 rows by scan, %2 by index)").arg(a.size()).arg(b.size())));
                }
            }
        }
    }
    qInfo("%s: %d statements compared, %d read through an index", qPrintable(QFileInfo(file).fileName()),
          tally.statements, tally.throughIndex);
}

// A copy of a real file whose index (512 entries on several leaf pages) is
// damaged: lookups read the table whole, an ordered walk fails at worst, and
// from then on the file is read without that index.
void IndexTest::damagedIndexGivesNoWrongRow_data()
{
    QTest::addColumn<int>("offset");   // within the first leaf's first entry, from its end
    QTest::addColumn<int>("value");
    QTest::newRow("entry names an absent row") << 1 << 0xfe;
    QTest::newRow("entry names another row") << 1 << 0x05;
    QTest::newRow("entry names another page") << 3 << 0x07;
    QTest::newRow("leaf is no index page") << -1 << 0x01;
}

void IndexTest::damagedIndexGivesNoWrongRow()
{
    QFETCH(int, offset);
    QFETCH(int, value);
    const QString original = Corpus + QStringLiteral("/compIndexTestV2003.mdb");
    if (!QFile::exists(original))
        QSKIP("the real files are not here");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("damaged.mdb"));
    QVERIFY(QFile::copy(original, path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    constexpr int PageSize = 4096;
    bool changed = false;
    for (qsizetype page = 1; page * PageSize < bytes.size() && !changed; ++page) {
        char *p = bytes.data() + page * PageSize;
        if (p[0] != 0x04 || qFromLittleEndian<quint32>(p + 4) != 15 || qFromLittleEndian<quint32>(p + 16) == 0)
            continue;   // the first leaf of Table1's index, which has a next one
        if (offset < 0) {
            p[0] = char(value);
        } else {
            int end = 0x1e0;
            for (int bit = 0; bit < (0x1e0 - 0x1b) * 8 && end == 0x1e0; ++bit)
                if (quint8(p[0x1b + bit / 8]) & (1 << (bit % 8)))
                    end = 0x1e0 + bit;
            p[end - offset] = char(value);
        }
        changed = true;
    }
    QVERIFY(changed);
    file.seek(0);
    file.write(bytes);
    file.close();

    engine::OpenDatabase database(path);
    QVERIFY(database.open(QString(), QStringLiteral("Admin"), QString()).ok());
    const Run all = run(database, QStringLiteral("SELECT * FROM Table1"), false);
    QVERIFY(all.error.isEmpty());
    QStringList keys;
    for (const QStringList &row : all.rows)
        if (row.first() != QLatin1String("<null>"))
            keys << row.first();
    const QString lookup = QStringLiteral("SELECT * FROM Table1 WHERE CD_AGENTE IN (%1)").arg(keys.join(QLatin1Char(',')));
    const Run looked = run(database, lookup, true);
    QVERIFY2(looked.error.isEmpty(), qPrintable(looked.error));
    QList<QStringList> found = looked.rows;
    std::sort(found.begin(), found.end());
    QList<QStringList> expected;
    for (const QStringList &row : all.rows)
        if (row.first() != QLatin1String("<null>"))
            expected << row;
    std::sort(expected.begin(), expected.end());
    QCOMPARE(found, expected);
    const QString ordered = QStringLiteral("SELECT * FROM Table1 ORDER BY CD_AGENTE");
    const Run scanned = run(database, ordered, false);
    const Run first = run(database, ordered, true);
    QVERIFY2(first.error.isEmpty() ? first.rows.size() == scanned.rows.size() : first.error.contains(QLatin1String("index")),
             qPrintable(first.error));
    const Run again = run(database, ordered, true);
    QCOMPARE(again.error, QString());
    QCOMPARE(again.rows.size(), scanned.rows.size());
}

QTEST_GUILESS_MAIN(IndexTest)
#include "tst_indexes.moc"
