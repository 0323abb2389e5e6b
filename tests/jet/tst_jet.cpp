#include "enginegate.h"
#include "fixtures.h"
#include "scriptedtransport.h"

#include "dao.h"
#include "daotypes.h"
#include "jetfile.h"
#include "jettables.h"
#include "queries.h"
#include "server.h"
#include "statement.h"
#include "engineclient.h"
#include "protocol.h"
#include "reasons.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cstdio>

#include <sqlite3.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kolta;
using namespace kolta::jet;

namespace {

const QString EngineProgram = QStringLiteral(KOLTA_BIN_DIR "/kolta-engine");
// The shared real-world files; a hand run may point elsewhere.
const QString Corpus = qEnvironmentVariable("KOLTA_SHARED_MDB", QStringLiteral(KOLTA_SHARED_MDB));

struct FileState
{
    QByteArray bytes;
    qint64 modifiedNs = 0;
    bool operator==(const FileState &) const = default;
};

FileState stateOf(const QString &path)
{
    struct stat info;
    FileState state;
    state.bytes = fixtures::readAll(path);
    if (::stat(QFile::encodeName(path).constData(), &info) == 0)
        state.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return state;
}

QStringList folderListing(const QString &dir)
{
    QStringList names;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names.append(it.next());
    names.sort();
    return names;
}

// A stand-in engine: a shell script that misbehaves in a chosen way.
QString fakeEngine(const QTemporaryDir &dir, const QString &name, const QByteArray &body)
{
    const QString path = dir.filePath(name);
    fixtures::writeAll(path, "#!/bin/sh\n" + body + "\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// A client whose engine plays what the test writes into script.
struct ScriptedClient
{
    std::unique_ptr<test::ScriptedTransport> owned = std::make_unique<test::ScriptedTransport>();
    test::ScriptedTransport &script = *owned;
    EngineClient client{std::move(owned)};
};

// The engine's answer to the next Open.
test::ScriptedTransport::Step &answerOpen(test::ScriptedTransport &script, qint32 handle)
{
    return script.answer(handle, quint8(PasswordCheck::Checked));
}

QString openedPath(const test::ScriptedTransport::Sent &sent)
{
    QDataStream in(sent.body);
    in.setVersion(protocol::StreamVersion);
    protocol::OpenArgs args;
    in >> args;
    return args.path;
}

// What reading every row of every table of a file through the SQL tables
// came to, in a child process so that a crash or hang stays there.
enum class RowRead { Ok, Error, Crash, Hang };
RowRead readRowsInChild(const QString &path, int boundMs);

// The sanitizer reports engines wrote so far (sanitizer builds under ctest
// name the log in KOLTA_SANITIZER_LOG; one file per process).
QStringList engineReports()
{
    const QString log = qEnvironmentVariable("KOLTA_SANITIZER_LOG");
    if (log.isEmpty())
        return {};
    const QFileInfo prefix(log);
    QStringList reports;
    for (const QString &name :
         QDir(prefix.absolutePath()).entryList({prefix.fileName() + QLatin1String(".*")}, QDir::Files))
        reports.append(prefix.absolutePath() + QLatin1Char('/') + name);
    return reports;
}

QList<Field> fieldsOf(Database &db, const QString &table)
{
    const Result<TableDef> def = db.TableDefsItem(table);
    return def.ok() ? def.value().Fields : QList<Field>();
}

} // namespace

class TestJet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void frames_data();
    void frames();
    void garbledCountsAreRefused();
    void serverAnswersGarbledRequests();

    void daoTypes_data();
    void daoTypes();
    void complexTypes_data();
    void complexTypes();

    void everyColumnType_data();
    void everyColumnType();
    void catalogOrderAndSystemTables();
    void unicodeNames();
    void itemIsReadFresh();
    void itemNamesIgnoreCase();
    void allDefinitionsAtOnce();
    void linkedTables_data();
    void linkedTables();
    void objectsThatAreNotTables_data();
    void objectsThatAreNotTables();
    void encodedPagesAreRead();

    void openErrors_data();
    void openErrors();
    void permissionDenied();
    void login_data();
    void login();
    void loginValuesAreKept();

    void nothingIsWritten();

    void killedEngineIsRestarted();
    void misbehavingEngine_data();
    void misbehavingEngine();
    void failingRequest_data();
    void failingRequest();
    void garbledAnswers_data();
    void garbledAnswers();
    void waitHookStops();
    void oneRequestAtATime();
    void statementDeathIsNotRetried();

    void commandLine();
    void commandLineFailure();

    void corpusGoodFiles_data();
    void corpusGoodFiles();
    void corpusBrokenFiles_data();
    void corpusBrokenFiles();
    void corpusTableLists_data();
    void corpusTableLists();
    void corpusSavedQueries_data();
    void corpusSavedQueries();

    void mutatedFiles();

    void sqlValues_data();
    void sqlValues();
    void sqlNullsAndLongValues();
    void sqlTextOfARealFile();
    void sqlManyRowsAndTwoCursors();
    void sqlIsReadOnly();
    void sqlJet3TextAsWindowsReadsIt();
    void sqlCutFilesNeverReadShort_data();
    void sqlCutFilesNeverReadShort();
    void sqlLongValueOnLostPage();
    void sqlPageCountingTooManyRows();

private:
    QTemporaryDir m_dir;
    // A file name that Qt cannot spell, removed by its bytes (QDir cannot).
    struct RawName
    {
        ~RawName()
        {
            if (!bytes.isEmpty())
                ::unlink(bytes.constData());
        }
        QByteArray bytes;
    } m_latinName;
    QString m_small;
    QString m_everything;
    QString m_workgroup;
};

void TestJet::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFileInfo(EngineProgram).isExecutable(), qPrintable(EngineProgram));
    // A hand run may point the suite at another build of the engine.
    if (qEnvironmentVariableIsEmpty("KOLTA_ENGINE"))
        qputenv("KOLTA_ENGINE", EngineProgram.toLocal8Bit());
    m_small = m_dir.filePath(QStringLiteral("small.mdb"));
    m_everything = m_dir.filePath(QStringLiteral("everything.mdb"));
    m_workgroup = m_dir.filePath(QStringLiteral("system.mdw"));
    QCOMPARE(fixtures::write(m_small, fixtures::small()), QString());
    QCOMPARE(fixtures::write(m_everything, fixtures::everyType()), QString());
    QCOMPARE(fixtures::write(m_workgroup, fixtures::workgroup()), QString());
}

void TestJet::frames_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QByteArray>("payload");
    using Outcome = protocol::FrameReader::Outcome;
    QTest::newRow("empty") << QByteArray() << int(Outcome::Incomplete) << QByteArray();
    QTest::newRow("length only") << QByteArray("\x03\0\0", 3) << int(Outcome::Incomplete) << QByteArray();
    QTest::newRow("short body") << QByteArray("\x03\0\0\0ab", 6) << int(Outcome::Incomplete) << QByteArray();
    QTest::newRow("whole") << QByteArray("\x03\0\0\0abc", 7) << int(Outcome::Complete) << QByteArray("abc");
    QTest::newRow("empty body") << QByteArray("\0\0\0\0", 4) << int(Outcome::Complete) << QByteArray();
    QTest::newRow("two") << QByteArray("\x01\0\0\0x\x01\0\0\0y", 10) << int(Outcome::Complete) << QByteArray("x");
    QTest::newRow("absurd length") << QByteArray("\xff\xff\xff\x7f", 4) << int(Outcome::Garbled) << QByteArray();
    QTest::newRow("just over the limit") << QByteArray("\x01\0\0\x04", 4) << int(Outcome::Garbled) << QByteArray();
}

void TestJet::frames()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, outcome);
    QFETCH(QByteArray, payload);
    protocol::FrameReader reader;
    // Fed byte by byte, as a pipe may deliver it.
    for (char c : stream)
        reader.append(QByteArray(1, c));
    QByteArray got;
    QCOMPARE(int(reader.next(&got)), outcome);
    QCOMPARE(got, payload);
    if (outcome == int(protocol::FrameReader::Outcome::Complete)) {
        QByteArray again;
        reader.clear();
        reader.append(protocol::frame(payload));
        QCOMPARE(int(reader.next(&again)), outcome);
        QCOMPARE(again, payload);
        QVERIFY(reader.isEmpty());
    }
}

void TestJet::garbledCountsAreRefused()
{
    // A table whose field count claims far more fields than bytes follow.
    protocol::Writer writer(7, quint16(protocol::Status::Ok));
    writer.stream() << QStringLiteral("T") << qint32(1) << quint32(0) << quint32(0x7fffffff);
    protocol::Reader reader(writer.payload());
    TableDef table;
    reader.stream() >> table;
    QVERIFY(!reader.finish());
    QVERIFY(table.Fields.isEmpty());

    protocol::Writer list(8, quint16(protocol::Status::Ok));
    list.stream() << quint32(1000000);
    protocol::Reader listReader(list.payload());
    QList<TableDef> tables;
    protocol::readTableDefs(listReader.stream(), &tables);
    QVERIFY(!listReader.finish());

    // Leftover bytes make an answer garbled too.
    protocol::Writer extra(9, quint16(protocol::Status::Ok));
    extra.stream() << qint32(1) << qint32(2);
    protocol::Reader extraReader(extra.payload());
    qint32 one = 0;
    extraReader.stream() >> one;
    QVERIFY(!extraReader.finish());

    // Round trip of a full definition.
    TableDef full{QStringLiteral("Täble"), {{QStringLiteral("A"), 10, 50, QStringLiteral("[B] & \"x\"")}, {QStringLiteral("B"), 4, 4, {}}}, 6, 0x80000002u};
    protocol::Writer w(1, 0);
    protocol::writeTableDefs(w.stream(), {full, full});
    protocol::Reader r(w.payload());
    QList<TableDef> back;
    protocol::readTableDefs(r.stream(), &back);
    QVERIFY(r.finish());
    QCOMPARE(back.size(), 2);
    QCOMPARE(back.at(1).Name, full.Name);
    QCOMPARE(back.at(1).catalogType, 6);
    QCOMPARE(back.at(1).flags, 0x80000002u);
    QCOMPARE(back.at(1).Fields.size(), 2);
    QCOMPARE(back.at(1).Fields.at(0).Size, 50);
    QCOMPARE(back.at(1).Fields.at(0).Expression, QStringLiteral("[B] & \"x\""));
}

void TestJet::serverAnswersGarbledRequests()
{
    engine::Server server;
    const auto status = [](const QByteArray &answer) { return protocol::Reader(answer).kindOrStatus(); };
    QCOMPARE(status(server.handle(QByteArray("\x01", 1))), quint16(protocol::Status::Error));
    QCOMPARE(status(server.handle(protocol::Writer(3, 999).payload())), quint16(protocol::Status::Error));
    // A table request for a handle that was never opened.
    protocol::Writer unknown(4, quint16(protocol::Request::TableDefs));
    unknown.stream() << qint32(42);
    QCOMPARE(status(server.handle(unknown.payload())), quint16(protocol::Status::Error));

    protocol::Writer open(5, quint16(protocol::Request::Open));
    open.stream() << protocol::OpenArgs{m_small, QString(), QStringLiteral("admin"), QString()};
    protocol::Reader opened(server.handle(open.payload()));
    QCOMPARE(opened.id(), 5u);
    QCOMPARE(opened.kindOrStatus(), quint16(protocol::Status::Ok));
    qint32 handle = 0;
    quint8 password = 9;
    opened.stream() >> handle >> password;
    QVERIFY(opened.finish());
    QVERIFY(handle > 0);
    QCOMPARE(password, quint8(PasswordCheck::Checked));
}

void TestJet::daoTypes_data()
{
    QTest::addColumn<int>("jetType");
    QTest::addColumn<bool>("jet3");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::newRow("yes/no") << 0x01 << false << 0 << int(dbBoolean) << 1;
    QTest::newRow("byte") << 0x02 << false << 1 << int(dbByte) << 1;
    QTest::newRow("integer") << 0x03 << false << 2 << int(dbInteger) << 2;
    QTest::newRow("long") << 0x04 << false << 4 << int(dbLong) << 4;
    QTest::newRow("currency") << 0x05 << false << 8 << int(dbCurrency) << 8;
    QTest::newRow("single") << 0x06 << false << 4 << int(dbSingle) << 4;
    QTest::newRow("double") << 0x07 << false << 8 << int(dbDouble) << 8;
    QTest::newRow("date") << 0x08 << false << 8 << int(dbDate) << 8;
    QTest::newRow("binary") << 0x09 << false << 100 << int(dbBinary) << 100;
    QTest::newRow("text jet 4") << 0x0A << false << 100 << int(dbText) << 50;
    QTest::newRow("text jet 3") << 0x0A << true << 50 << int(dbText) << 50;
    QTest::newRow("ole") << 0x0B << false << 0 << int(dbLongBinary) << 0;
    QTest::newRow("memo") << 0x0C << false << 0 << int(dbMemo) << 0;
    QTest::newRow("replication id") << 0x0F << false << 16 << int(dbGUID) << 16;
    QTest::newRow("decimal") << 0x10 << false << 17 << int(dbDecimal) << 16;
    QTest::newRow("complex") << 0x12 << false << 4 << int(dbAttachment) << 4;
    QTest::newRow("large number") << 0x13 << false << 8 << int(dbBigInt) << 8;
    // No DAO type: the browser names it by its code.
    QTest::newRow("unknown") << 0x0D << false << 12 << 0 << 12;
}

void TestJet::daoTypes()
{
    QFETCH(int, jetType);
    QFETCH(bool, jet3);
    QFETCH(int, stored);
    QFETCH(int, type);
    QFETCH(int, size);
    QCOMPARE(int(engine::daoType(jetType)), type);
    QCOMPARE(engine::daoSize(jetType, stored, jet3), size);
}

void TestJet::complexTypes_data()
{
    QTest::addColumn<QString>("templateName");
    QTest::addColumn<int>("type");
    QTest::newRow("attachment") << "MSysComplexType_Attachment" << int(dbAttachment);
    QTest::newRow("byte") << "MSysComplexType_UnsignedByte" << int(dbComplexByte);
    QTest::newRow("integer") << "MSysComplexType_Short" << int(dbComplexInteger);
    QTest::newRow("long") << "MSysComplexType_Long" << int(dbComplexLong);
    QTest::newRow("single") << "MSysComplexType_IEEESingle" << int(dbComplexSingle);
    QTest::newRow("double") << "MSysComplexType_IEEEDouble" << int(dbComplexDouble);
    QTest::newRow("guid") << "MSysComplexType_GUID" << int(dbComplexGUID);
    QTest::newRow("decimal") << "MSysComplexType_Decimal" << int(dbComplexDecimal);
    QTest::newRow("text") << "MSysComplexType_Text" << int(dbComplexText);
    QTest::newRow("case") << "msyscomplextype_text" << int(dbComplexText);
    QTest::newRow("version history") << "MSysComplexTypeVH_7B4A12A4BE0B4564884754E9E31577B2" << int(VersionHistory);
    QTest::newRow("unknown kind") << "MSysComplexType_Other" << int(dbAttachment);
    QTest::newRow("not a template") << "Orders" << int(dbAttachment);
    QTest::newRow("missing") << "" << int(dbAttachment);
}

void TestJet::complexTypes()
{
    QFETCH(QString, templateName);
    QFETCH(int, type);
    QCOMPARE(int(engine::complexDaoType(templateName)), type);
}

void TestJet::everyColumnType_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    const struct { const char *name; DaoType type; int size; } expected[] = {
        {"Flag", dbBoolean, 1}, {"Tiny", dbByte, 1}, {"Small", dbInteger, 2}, {"Count", dbLong, 4},
        {"Price", dbCurrency, 8}, {"Ratio", dbSingle, 4}, {"Measure", dbDouble, 8}, {"When", dbDate, 8},
        {"Blob", dbBinary, 16}, {"Title", dbText, 40}, {"Picture", dbLongBinary, 0}, {"Notes", dbMemo, 0},
        {"Guid", dbGUID, 16}, {"Amount", dbDecimal, 16},
    };
    int index = 0;
    for (const auto &field : expected) {
        QTest::newRow(field.name) << index << QString::fromLatin1(field.name) << int(field.type) << field.size;
        ++index;
    }
}

void TestJet::everyColumnType()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    QFETCH(int, type);
    QFETCH(int, size);
    // Through the real process, as the windows see it.
    DBEngine engine;
    auto db = engine.OpenDatabase(m_everything);
    QVERIFY2(db.ok(), db.ok() ? "" : qPrintable(db.error().message));
    const QList<Field> fields = fieldsOf(*db.value(), QStringLiteral("Everything"));
    QCOMPARE(fields.size(), 14);
    QCOMPARE(fields.at(index).Name, name);
    QCOMPARE(int(fields.at(index).Type), type);
    QCOMPARE(fields.at(index).Size, size);
}

void TestJet::catalogOrderAndSystemTables()
{
    DBEngine engine;
    auto db = engine.OpenDatabase(m_small);
    QVERIFY(db.ok());
    const Result<QList<TableDef>> tables = db.value()->TableDefs();
    QVERIFY(tables.ok());
    QStringList names;
    for (const TableDef &table : tables.value()) {
        names.append(table.Name);
        QCOMPARE(table.catalogType, 1);
        QVERIFY(table.Fields.isEmpty());
        const bool system = (table.flags & 0x80000002u) != 0;
        QCOMPARE(system, table.Name.startsWith(QLatin1String("MSys")));
    }
    QCOMPARE(names.first(), QStringLiteral("MSysObjects"));
    QVERIFY(names.contains(QStringLiteral("MSysACEs")));
    // User tables follow in the order they were created.
    QCOMPARE(names.mid(names.size() - 2), QStringList({QStringLiteral("Customers"), QStringLiteral("Orders")}));
}

void TestJet::unicodeNames()
{
    kolta::jetwriter::Table table;
    // Latin-1 names are stored compressed, the others as plain UCS-2.
    table.name = QStringLiteral("Größe");
    table.columns = {{QStringLiteral("Ärger"), kolta::jetwriter::ColumnType::Text, 10},
                     {QStringLiteral("Имя"), kolta::jetwriter::ColumnType::Long},
                     {QStringLiteral("名前"), kolta::jetwriter::ColumnType::Memo}};
    kolta::jetwriter::Table greek;
    greek.name = QStringLiteral("Πίνακας");
    greek.columns = {{QStringLiteral("a"), kolta::jetwriter::ColumnType::Long}};
    // Beyond the Basic Multilingual Plane: two names that differ only there.
    kolta::jetwriter::Table smile;
    smile.name = QStringLiteral("A\U0001F600");
    smile.columns = {{QStringLiteral("B\U0001F600"), kolta::jetwriter::ColumnType::Long}};
    smile.rows = {{1}};
    kolta::jetwriter::Table grin = smile;
    grin.name = QStringLiteral("A\U0001F601");
    grin.rows = {{2}};
    kolta::jetwriter::Database source;
    source.tables = {table, greek, smile, grin};
    const QString path = m_dir.filePath(QStringLiteral("unicode.mdb"));
    QCOMPARE(fixtures::write(path, source), QString());

    DBEngine engine;
    auto db = engine.OpenDatabase(path);
    QVERIFY(db.ok());
    const auto tables = db.value()->TableDefs();
    QVERIFY(tables.ok());
    QStringList names;
    for (const TableDef &t : tables.value())
        names.append(t.Name);
    QVERIFY2(names.contains(QStringLiteral("Größe")), qPrintable(names.join(u',')));
    QVERIFY(names.contains(QStringLiteral("Πίνακας")));
    const QList<Field> fields = fieldsOf(*db.value(), QStringLiteral("Größe"));
    QCOMPARE(fields.size(), 3);
    QCOMPARE(fields.at(0).Name, QStringLiteral("Ärger"));
    QCOMPARE(fields.at(1).Name, QStringLiteral("Имя"));
    QCOMPARE(fields.at(2).Name, QStringLiteral("名前"));
    QVERIFY2(names.contains(smile.name) && names.contains(grin.name), qPrintable(names.join(u',')));
    QCOMPARE(fieldsOf(*db.value(), grin.name).value(0).Name, smile.columns.at(0).name);
    const QString sql = QStringLiteral("SELECT [%1] FROM [%2]").arg(smile.columns.at(0).name, grin.name);
    QProcess query;
    query.start(EngineProgram, {QStringLiteral("query"), path, sql});
    QVERIFY(query.waitForFinished(60000));
    QCOMPARE(QString::fromUtf8(query.readAllStandardOutput()), smile.columns.at(0).name + QStringLiteral("\n2\n"));
}

void TestJet::itemIsReadFresh()
{
    const QString path = m_dir.filePath(QStringLiteral("changing.mdb"));
    QCOMPARE(fixtures::write(path, fixtures::small()), QString());
    DBEngine engine;
    auto db = engine.OpenDatabase(path);
    QVERIFY(db.ok());
    QCOMPARE(fieldsOf(*db.value(), QStringLiteral("Customers")).size(), 2);

    // Another program changes the file while it is open.
    kolta::jetwriter::Database changed = fixtures::small();
    changed.tables[0].columns.append({QStringLiteral("Email"), kolta::jetwriter::ColumnType::Text, 80});
    for (auto &row : changed.tables[0].rows)
        row.append(QVariant());
    kolta::jetwriter::Table extra;
    extra.name = QStringLiteral("Added");
    extra.columns = {{QStringLiteral("X"), kolta::jetwriter::ColumnType::Long}};
    changed.tables.append(extra);
    QCOMPARE(fixtures::write(path, changed), QString());

    const QList<Field> fields = fieldsOf(*db.value(), QStringLiteral("Customers"));
    QCOMPARE(fields.size(), 3);
    QCOMPARE(fields.at(2).Name, QStringLiteral("Email"));
    QCOMPARE(fields.at(2).Size, 80);
    const auto tables = db.value()->TableDefs();
    QVERIFY(tables.ok());
    QCOMPARE(tables.value().last().Name, QStringLiteral("Added"));
}

void TestJet::itemNamesIgnoreCase()
{
    DBEngine engine;
    auto db = engine.OpenDatabase(m_small);
    QVERIFY(db.ok());
    const Result<TableDef> orders = db.value()->TableDefsItem(QStringLiteral("oRDERS"));
    QVERIFY(orders.ok());
    QCOMPARE(orders.value().Name, QStringLiteral("Orders"));
    const Result<TableDef> missing = db.value()->TableDefsItem(QStringLiteral("Nope"));
    QVERIFY(!missing.ok());
    QVERIFY(missing.error().message.contains(QLatin1String("\"Nope\"")));
    QVERIFY(missing.error().message.contains(QLatin1String("no table")));
}

void TestJet::allDefinitionsAtOnce()
{
    DBEngine engine;
    auto db = engine.OpenDatabase(m_small);
    QVERIFY(db.ok());
    const auto all = db.value()->TableDefsWithFields();
    QVERIFY(all.ok());
    const auto names = db.value()->TableDefs();
    QVERIFY(names.ok());
    QCOMPARE(all.value().size(), names.value().size());
    for (int i = 0; i < all.value().size(); ++i) {
        const TableDef &table = all.value().at(i);
        QCOMPARE(table.Name, names.value().at(i).Name);
        QCOMPARE(table.flags, names.value().at(i).flags);
        const QList<Field> single = fieldsOf(*db.value(), table.Name);
        QCOMPARE(table.Fields.size(), single.size());
        for (int f = 0; f < single.size(); ++f) {
            QCOMPARE(table.Fields.at(f).Name, single.at(f).Name);
            QCOMPARE(table.Fields.at(f).Type, single.at(f).Type);
            QCOMPARE(table.Fields.at(f).Size, single.at(f).Size);
        }
    }
}

void TestJet::linkedTables_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("reason");
    QTest::newRow("jet link") << 6 << "cannot be opened";
    QTest::newRow("odbc link") << 4 << "ODBC";
}

void TestJet::linkedTables()
{
    QFETCH(int, type);
    QFETCH(QString, reason);
    const QString path = m_dir.filePath(QStringLiteral("linked%1.mdb").arg(type));
    QVERIFY(QFile::copy(m_small, path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(fixtures::setCatalogType(path, QStringLiteral("Orders"), qint16(type)));

    DBEngine engine;
    auto db = engine.OpenDatabase(path);
    QVERIFY(db.ok());
    const auto tables = db.value()->TableDefs();
    QVERIFY(tables.ok());
    // Listed in its place, with its catalog type.
    QCOMPARE(tables.value().last().Name, QStringLiteral("Orders"));
    QCOMPARE(tables.value().last().catalogType, type);
    // Its fields live elsewhere; here the link leads nowhere.
    const auto orders = db.value()->TableDefsItem(QStringLiteral("Orders"));
    QVERIFY(!orders.ok());
    QVERIFY2(orders.error().message.contains(reason), qPrintable(orders.error().message));
    QVERIFY(orders.error().message.contains(QLatin1String("linked table \"Orders\"")));
    QVERIFY(db.value()->TableDefsItem(QStringLiteral("Customers")).ok());
}

void TestJet::objectsThatAreNotTables_data()
{
    QTest::addColumn<int>("type");
    QTest::newRow("form") << -32768;
    QTest::newRow("macro") << -32766;
    QTest::newRow("report") << -32764;
    QTest::newRow("module") << -32761;
    QTest::newRow("database properties") << -32757;
    QTest::newRow("user properties") << -32758;
}

// Forms, reports, macros and modules sit in the catalog with the high bit
// of their type set; none of them is a table, whatever the low bits say.
void TestJet::objectsThatAreNotTables()
{
    QFETCH(int, type);
    const QString path = m_dir.filePath(QStringLiteral("object%1.mdb").arg(-type));
    QVERIFY(QFile::copy(m_small, path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(fixtures::setCatalogType(path, QStringLiteral("Orders"), qint16(type)));

    DBEngine engine;
    auto db = engine.OpenDatabase(path);
    QVERIFY(db.ok());
    const auto tables = db.value()->TableDefs();
    QVERIFY(tables.ok());
    QCOMPARE(tables.value().last().Name, QStringLiteral("Customers"));
    QVERIFY(!db.value()->TableDefsItem(QStringLiteral("Orders")).ok());
}

void TestJet::encodedPagesAreRead()
{
    QByteArray bytes = fixtures::readAll(m_small);
    fixtures::encodePages(bytes, 0x5A17C0DEu);
    const QString path = m_dir.filePath(QStringLiteral("encoded.mdb"));
    QVERIFY(fixtures::writeAll(path, bytes));
    DBEngine engine;
    auto db = engine.OpenDatabase(path);
    QVERIFY2(db.ok(), db.ok() ? "" : qPrintable(db.error().message));
    QCOMPARE(fieldsOf(*db.value(), QStringLiteral("Orders")).size(), 3);
}

void TestJet::openErrors_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("systemDb");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("reason");

    const QString dir = m_dir.filePath(QStringLiteral("broken"));
    QDir().mkpath(dir);
    const auto file = [&](const char *name, const QByteArray &bytes) {
        const QString path = dir + QLatin1Char('/') + QLatin1String(name);
        fixtures::writeAll(path, bytes);
        return path;
    };
    const QByteArray good = fixtures::readAll(m_small);
    const QString admin = QStringLiteral("Admin");

    QByteArray damaged = good;
    damaged.replace(2 * 4096, 4096, QByteArray(4096, '\0'));
    QByteArray keyed = good;
    fixtures::toggleHeaderMask(keyed);
    qToLittleEndian<quint32>(0x1234u, keyed.data() + 0x3e);
    fixtures::toggleHeaderMask(keyed);
    QByteArray password = good;
    fixtures::toggleHeaderMask(password);
    {
        const double created = qFromLittleEndian<double>(password.constData() + 0x72);
        unsigned char mask[4];
        qToLittleEndian<qint32>(qint32(created), mask);
        const QString secret = QStringLiteral("pw");
        for (int i = 0; i < 40; ++i) {
            const char plain = i < secret.size() * 2 ? char(secret.at(i / 2).unicode() >> (8 * (i % 2))) : 0;
            password[0x42 + i] = char(plain ^ mask[i % 4]);
        }
    }
    fixtures::toggleHeaderMask(password);
    QByteArray package("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    package.append(QByteArray(1000, '\0'));
    const QString stream = QStringLiteral("EncryptedPackage");
    package.append(reinterpret_cast<const char *>(stream.utf16()), stream.size() * 2);
    package.append(QByteArray(3000, '\0'));
    QByteArray version = good;
    version[0x14] = char(0x33);

    QTest::newRow("empty path") << QString() << QString() << admin << "no file name was given";
    QTest::newRow("missing") << dir + "/missing.mdb" << QString() << admin << "does not exist";
    QTest::newRow("folder") << dir << QString() << admin << "is a folder";
    // A sound file whose name holds a byte that is not UTF-8.
    const QByteArray latinName = QFile::encodeName(dir) + "/caf\xe9.mdb";
    m_latinName.bytes = latinName;
    if (std::FILE *latin = std::fopen(latinName.constData(), "wb")) {
        std::fwrite(good.constData(), 1, size_t(good.size()), latin);
        std::fclose(latin);
    }
    QTest::newRow("name not UTF-8") << QFile::decodeName(latinName) << QString() << admin << "not valid UTF-8";
    QTest::newRow("text file") << file("text.mdb", "just some words\n") << QString() << admin
                               << "not an Access (Jet) database";
    QTest::newRow("empty file") << file("empty.mdb", {}) << QString() << admin << "the file is empty";
    QTest::newRow("two pages") << file("short.mdb", good.left(8192)) << QString() << admin << "truncated";
    QTest::newRow("half page") << file("half.mdb", good.left(good.size() - 1000)) << QString() << admin
                               << "truncated";
    QTest::newRow("catalog zeroed") << file("damaged.mdb", damaged) << QString() << admin << "damaged";
    QTest::newRow("unknown key") << file("keyed.mdb", keyed) << QString() << admin << "encrypted";
    QTest::newRow("office encrypted") << file("package.mdb", package) << QString() << admin << "encrypted";
    if (QFileInfo::exists(Corpus + QLatin1String("/testV2010.accdb"))) {
        QByteArray ace = fixtures::readAll(Corpus + QLatin1String("/testV2010.accdb"));
        fixtures::toggleHeaderMask(ace);
        qToLittleEndian<quint32>(0x5678u, ace.data() + 0x3e);
        fixtures::toggleHeaderMask(ace);
        QTest::newRow("accdb encrypted") << file("keyed.accdb", ace) << QString() << admin
                                         << "encrypted with a database password";
    }
    QTest::newRow("database password") << file("password.mdb", password) << QString() << admin
                                       << "database password";
    QTest::newRow("unknown version") << file("version.mdb", version) << QString() << admin << "not known";
    QTest::newRow("workgroup missing") << m_small << dir + "/none.mdw" << admin << "does not exist";
    QTest::newRow("workgroup not jet") << m_small << file("text.mdw", "[workgroup]\n") << admin
                                       << "not an Access (Jet) database";
    QTest::newRow("workgroup without accounts") << m_small << m_everything << admin << "not a workgroup file";
    QTest::newRow("user unknown") << m_small << m_workgroup << QStringLiteral("Mallory")
                                  << "\"Mallory\" is not an account";
    QTest::newRow("group is no user") << m_small << m_workgroup << QStringLiteral("users")
                                      << "is not an account";
    QTest::newRow("no workgroup, not admin") << m_small << QString() << QStringLiteral("Bob")
                                             << "default workgroup";
}

void TestJet::openErrors()
{
    QFETCH(QString, path);
    QFETCH(QString, systemDb);
    QFETCH(QString, user);
    QFETCH(QString, reason);
    DBEngine engine;
    engine.SystemDB = systemDb;
    engine.DefaultUser = user;
    const auto db = engine.OpenDatabase(path);
    QVERIFY(!db.ok());
    const QString message = db.error().message;
    QVERIFY2(message.contains(reason), qPrintable(message));
    if (!path.isEmpty())
        QVERIFY2(message.contains(QFileInfo(path).fileName()), qPrintable(message));
    if (!systemDb.isEmpty() && !reason.contains(QLatin1String("account")))
        QVERIFY2(message.contains(QFileInfo(systemDb).fileName()), qPrintable(message));
    // The engine itself is fine afterwards.
    engine.SystemDB.clear();
    engine.DefaultUser = QStringLiteral("Admin");
    QVERIFY(engine.OpenDatabase(m_small).ok());
}

void TestJet::permissionDenied()
{
    if (::geteuid() == 0)
        QSKIP("root reads every file");
    const QString path = m_dir.filePath(QStringLiteral("locked.mdb"));
    QVERIFY(QFile::copy(m_small, path));
    QFile::setPermissions(path, QFileDevice::WriteOwner);
    DBEngine engine;
    const auto db = engine.OpenDatabase(path);
    QVERIFY(!db.ok());
    QVERIFY2(db.error().message.contains(QLatin1String("permission")), qPrintable(db.error().message));
    QVERIFY(db.error().message.contains(QLatin1String("locked.mdb")));
}

void TestJet::login_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("systemDb");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("outcome");   // "checked", "server", or words of the refusal
    const QString refused = QStringLiteral("Not a valid account name or password");
    QTest::newRow("admin") << m_small << m_workgroup << "Admin" << "" << "checked";
    QTest::newRow("case differs") << m_small << m_workgroup << "bOB" << "secret" << "server";
    QTest::newRow("password where none") << m_small << m_workgroup << "Admin" << "x" << refused;
    QTest::newRow("none where one") << m_small << m_workgroup << "Bob" << "" << refused;
    // A workgroup file and a database secured with it, as Access wrote them.
    const QString mdw = Corpus + QLatin1String("/ContourSystem.mdw");
    if (!QFileInfo::exists(mdw))
        return;
    const QString secured = Corpus + QLatin1String("/ContourBL.mdb");
    QTest::newRow("real: admin") << secured << mdw << "admin" << "" << "checked";
    QTest::newRow("real: Contour") << secured << mdw << "Contour" << "" << "checked";
    QTest::newRow("real: admin with a password") << secured << mdw << "admin" << "pw" << refused;
    QTest::newRow("real: SMSUser without") << secured << mdw << "SMSUser" << "" << refused;
    QTest::newRow("real: SMSUser with") << secured << mdw << "SMSUser" << "pw" << "server";
    QTest::newRow("real: unknown") << secured << mdw << "Nobody" << "" << "\"Nobody\" is not an account";
    QTest::newRow("real: the workgroup file itself") << mdw << QString() << "Admin" << "" << "checked";
}

void TestJet::login()
{
    QFETCH(QString, database);
    QFETCH(QString, systemDb);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, outcome);
    DBEngine engine;
    engine.SystemDB = systemDb;
    engine.DefaultUser = user;
    engine.DefaultPassword = password;
    const auto db = engine.OpenDatabase(database);
    if (outcome == QLatin1String("checked") || outcome == QLatin1String("server")) {
        QVERIFY2(db.ok(), db.ok() ? "" : qPrintable(db.error().message));
        QCOMPARE(db.value()->passwordCheck() == PasswordCheck::LeftToServer, outcome == QLatin1String("server"));
        QVERIFY(db.value()->TableDefs().ok());
    } else {
        QVERIFY(!db.ok());
        QVERIFY2(db.error().message.contains(outcome), qPrintable(db.error().message));
    }
}

void TestJet::loginValuesAreKept()
{
    DBEngine engine;
    QCOMPARE(engine.DefaultUser, QStringLiteral("Admin"));
    engine.SystemDB = m_workgroup;
    engine.DefaultUser = QStringLiteral("Bob");
    engine.DefaultPassword = QStringLiteral("secret");
    QVERIFY(engine.OpenDatabase(m_small).ok());
    // Later opens log in with the same values until they are changed.
    QVERIFY(engine.OpenDatabase(m_everything).ok());
    engine.DefaultUser = QStringLiteral("Nobody");
    QVERIFY(!engine.OpenDatabase(m_small).ok());
}

void TestJet::nothingIsWritten()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("watched.mdb"));
    const QString mdw = dir.filePath(QStringLiteral("watched.mdw"));
    QVERIFY(QFile::copy(m_small, path));
    QVERIFY(QFile::copy(m_workgroup, mdw));
    // An old modification time shows any touch.
    const QDateTime old(QDate(2001, 1, 1), QTime(0, 0));
    for (const QString &p : {path, mdw}) {
        QFile f(p);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
    }
    const FileState before = stateOf(path);
    const FileState mdwBefore = stateOf(mdw);
    const QStringList listing = folderListing(dir.path());

    {
        DBEngine engine;
        engine.SystemDB = mdw;
        auto db = engine.OpenDatabase(path);
        QVERIFY(db.ok());
        const auto tables = db.value()->TableDefs();
        QVERIFY(tables.ok());
        for (const TableDef &t : tables.value())
            QVERIFY(db.value()->TableDefsItem(t.Name).ok());
        // An engine killed in the middle leaves nothing behind either.
        ::kill(pid_t(engine.client()->processId()), SIGKILL);
        QVERIFY(db.value()->TableDefs().ok());
        QCOMPARE(folderListing(dir.path()), listing);
    }
    QVERIFY(before == stateOf(path));
    QVERIFY(mdwBefore == stateOf(mdw));
    QCOMPARE(folderListing(dir.path()), listing);

    QProcess cli;
    cli.start(EngineProgram, {QStringLiteral("tables"), path});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 0);
    QVERIFY(before == stateOf(path));
    QCOMPARE(folderListing(dir.path()), listing);
}

void TestJet::killedEngineIsRestarted()
{
    using R = protocol::Request;
    ScriptedClient s;
    const protocol::OpenArgs small{m_small, QString(), QStringLiteral("Admin"), QString()};
    const protocol::OpenArgs everything{m_everything, QString(), QStringLiteral("Admin"), QString()};
    QList<TableDef> tables(2);
    tables[0].Name = QStringLiteral("Customers");
    tables[1].Name = QStringLiteral("Orders");
    TableDef table;
    table.Name = QStringLiteral("Everything");
    table.Fields.append(Field{QStringLiteral("ID"), dbLong, 4, QString()});
    answerOpen(s.script, 7);
    answerOpen(s.script, 8);
    s.script.answerTables(tables);
    const Result<int> first = s.client.open(small);
    const Result<int> second = s.client.open(everything);
    QVERIFY(first.ok() && second.ok());
    QVERIFY(s.client.tableDefs(first.value()).ok());
    const qint64 pid = s.client.processId();
    QVERIFY(pid > 0);
    QCOMPARE(s.client.startCount(), 1);

    // Ended while idle: both databases come back in the new engine.
    s.script.endNow();
    answerOpen(s.script, 1);
    s.script.answerTables(tables);
    answerOpen(s.script, 2);
    s.script.answer(table);
    const auto after = s.client.tableDefs(first.value());
    QVERIFY2(after.ok(), after.ok() ? "" : qPrintable(after.error().message));
    QCOMPARE(after.value().size(), tables.size());
    const auto fields = s.client.tableDef(second.value(), QStringLiteral("Everything"));
    QVERIFY2(fields.ok(), fields.ok() ? "" : qPrintable(fields.error().message));
    QCOMPARE(fields.value().Fields.size(), 1);
    QCOMPARE(s.client.startCount(), 2);
    QVERIFY(s.client.processId() != pid);

    // Ended unnoticed: the request that finds it gone runs once more in a
    // fresh engine.
    s.script.die();
    answerOpen(s.script, 1);
    s.script.answerTables(tables);
    QVERIFY(s.client.tableDefs(first.value()).ok());
    QCOMPARE(s.client.startCount(), 3);

    // A database closed in the old process is not reopened.
    s.client.close(first.value());
    s.client.stop();
    answerOpen(s.script, 1);
    s.script.answer(table);
    QVERIFY(s.client.tableDef(second.value(), QStringLiteral("Everything")).ok());
    QCOMPARE(s.client.startCount(), 4);
    QCOMPARE(s.script.stepsLeft(), 0);
    QCOMPARE(s.script.kinds(), (QList<R>{R::Open, R::Open, R::TableDefs,
                                         R::Open, R::TableDefs, R::Open, R::TableDef,
                                         R::TableDefs, R::Open, R::TableDefs,
                                         R::Close, R::Open, R::TableDef}));
    QStringList reopened;
    for (const int at : {3, 5, 8, 11})
        reopened.append(openedPath(s.script.sent().at(at)));
    QCOMPARE(reopened, (QStringList{m_small, m_everything, m_small, m_everything}));
}

void TestJet::misbehavingEngine_data()
{
    // Rows that are not about a hang wait far longer than any machine takes
    // to start a shell: only a client that misses the fault would reach it.
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<QString>("reason");
    QTest::newRow("crashes") << QByteArray("kill -SEGV $$") << 600000 << "stopped before it answered";
    QTest::newRow("exits") << QByteArray("exit 0") << 600000 << "stopped before it answered";
    QTest::newRow("hangs") << QByteArray("exec sleep 30") << 1500 << "did not answer within 1.5 seconds";
    QTest::newRow("garbles") << QByteArray("printf 'hello, this is not the protocol'; exec sleep 30") << 600000
                             << "garbled answer";
    QTest::newRow("huge length") << QByteArray("printf '\\377\\377\\377\\377'; exec sleep 30") << 600000
                                 << "garbled answer";
    QTest::newRow("wrong id") << QByteArray("printf '\\006\\000\\000\\000\\000\\000\\000\\011\\000\\000'; exec sleep 30")
                              << 600000 << "garbled answer";
    QTest::newRow("not a program") << QByteArray() << 600000 << "cannot be started";
}

void TestJet::misbehavingEngine()
{
    QFETCH(QByteArray, script);
    QFETCH(int, timeoutMs);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    EngineClient client;
    if (script.isEmpty())
        client.setProgram(dir.filePath(QStringLiteral("no-such-engine")));
    else
        client.setProgram(fakeEngine(dir, QStringLiteral("engine.sh"), script));
    client.setTimeoutMs(timeoutMs);
    const Result<int> opened = client.open({m_small, QString(), QStringLiteral("Admin"), QString()});
    QVERIFY(!opened.ok());
    QVERIFY2(opened.error().message.contains(reason), qPrintable(opened.error().message));
    QCOMPARE(client.processId(), 0);

    // The next request starts a fresh, working engine.
    client.setProgram(EngineProgram);
    const Result<int> again = client.open({m_small, QString(), QStringLiteral("Admin"), QString()});
    QVERIFY2(again.ok(), again.ok() ? "" : qPrintable(again.error().message));
    QVERIFY(client.tableDefs(again.value()).ok());
}

void TestJet::failingRequest_data()
{
    // The engine is up; the open request kills it, hangs it or is garbled.
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("crashes reading")
        << "dies" << "the database engine stopped while reading the file (the file may be damaged)";
    QTest::newRow("hangs reading")
        << "falls silent"
        << "the database engine did not answer within 1.5 seconds while reading the file (the file may be damaged)";
    QTest::newRow("garbles reading") << "garbles" << "the database engine gave a garbled answer";
}

void TestJet::failingRequest()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    ScriptedClient s;
    if (fault == QLatin1String("dies"))
        s.script.die();
    else if (fault == QLatin1String("falls silent"))
        s.script.fallSilent(1500);
    else
        s.script.garble();
    const protocol::OpenArgs args{m_small, QString(), QStringLiteral("Admin"), QString()};
    const Result<int> opened = s.client.open(args);
    QVERIFY(!opened.ok());
    QCOMPARE(opened.error().message, QStringLiteral("Cannot open %1: %2.").arg(quoted(m_small), reason));
    QCOMPARE(s.client.processId(), 0);
    // An engine that was not running before is not tried twice.
    QCOMPARE(s.script.kinds(), QList<protocol::Request>{protocol::Request::Open});

    // The next request starts a fresh, working engine.
    answerOpen(s.script, 1);
    s.script.answerTables({});
    const Result<int> again = s.client.open(args);
    QVERIFY2(again.ok(), again.ok() ? "" : qPrintable(again.error().message));
    QVERIFY(s.client.tableDefs(again.value()).ok());
    QCOMPARE(s.client.startCount(), 2);
}

void TestJet::garbledAnswers_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("subject");
    QTest::newRow("open") << "open" << "Cannot open %1";
    QTest::newRow("open with bytes left over") << "open with bytes left over" << "Cannot open %1";
    QTest::newRow("table list") << "table list" << "Cannot read the tables of %1";
    QTest::newRow("all tables") << "all tables" << "Cannot read the tables of %1";
    QTest::newRow("table") << "table" << "Cannot read the table \"Customers\" of %1";
    QTest::newRow("reopen") << "reopen" << "Cannot read the tables of %1";
    QTest::newRow("statement") << "statement" << "Cannot run the statement on %1";
    QTest::newRow("parameters") << "parameters" << "Cannot run the statement on %1";
    QTest::newRow("fetch") << "fetch" << "Cannot run the statement on %1";
    QTest::newRow("rows") << "rows" << "Cannot run the statement on %1";
    QTest::newRow("rows without number bits") << "rows without number bits" << "Cannot run the statement on %1";
}

void TestJet::garbledAnswers()
{
    // Every answer is read to its last byte; one that holds other values
    // ends the engine that gave it.
    QFETCH(QString, request);
    QFETCH(QString, subject);
    ScriptedClient s;
    const protocol::OpenArgs args{m_small, QString(), QStringLiteral("Admin"), QString()};
    const bool statement = request == QLatin1String("fetch") || request.startsWith(QLatin1String("rows"));
    const bool open = request.startsWith(QLatin1String("open"));
    if (!open)
        answerOpen(s.script, 1);
    if (request == QLatin1String("reopen"))
        s.script.die();
    if (statement)
        s.script.answer(qint32(5), QStringList{QStringLiteral("N")}, QStringList());
    if (request == QLatin1String("rows without number bits"))
        s.script.answer(QList<QVariantList>{{QStringLiteral("1")}}, QList<QBitArray>());
    else if (request == QLatin1String("open with bytes left over"))
        s.script.answer(qint32(1), quint8(PasswordCheck::Checked), qint32(1));
    else
        s.script.garble();

    const auto messageOf = [](const auto &result) {
        return result.ok() ? QStringLiteral("answered") : result.error().message;
    };
    QString message;
    if (open) {
        message = messageOf(s.client.open(args));
    } else {
        const Result<int> opened = s.client.open(args);
        QVERIFY(opened.ok());
        if (request == QLatin1String("table list") || request == QLatin1String("reopen"))
            message = messageOf(s.client.tableDefs(opened.value()));
        else if (request == QLatin1String("all tables"))
            message = messageOf(s.client.allTableDefs(opened.value()));
        else if (request == QLatin1String("table"))
            message = messageOf(s.client.tableDef(opened.value(), QStringLiteral("Customers")));
        else if (request == QLatin1String("statement"))
            message = messageOf(s.client.query(args, QStringLiteral("SELECT N FROM Customers")));
        else if (request == QLatin1String("parameters"))
            message = messageOf(s.client.parameters(args, QStringLiteral("SELECT [N?] FROM Customers")));
    }
    if (statement) {
        const auto prepared = s.client.query(args, QStringLiteral("SELECT N FROM Customers"));
        QVERIFY(prepared.ok());
        if (request == QLatin1String("fetch"))
            message = messageOf(s.client.fetch(prepared.value().cursor, 10, m_small));
        else
            message = messageOf(s.client.rows(prepared.value().cursor, 0, 1, m_small));
    }
    QCOMPARE(message, subject.arg(quoted(m_small)) + QLatin1String(": the database engine gave a garbled answer."));
    QCOMPARE(s.client.processId(), 0);
    QCOMPARE(s.script.stepsLeft(), 0);
}

void TestJet::waitHookStops()
{
    ScriptedClient s;
    // Held far longer than the hook is asked for; only a client that never
    // stops would get it.
    answerOpen(s.script, 1).after(1000);
    QList<int> calls;
    s.client.setWaitHooks({{}, [&](int elapsed) {
        calls.append(elapsed);
        return calls.size() < 3;
    }, {}});
    const Result<int> opened = s.client.open({m_small, QString(), QStringLiteral("Admin"), QString()});
    QVERIFY(!opened.ok());
    QVERIFY2(opened.error().message.endsWith(QLatin1String(": stopped.")), qPrintable(opened.error().message));
    QCOMPARE(calls.size(), 3);
    QVERIFY(std::is_sorted(calls.begin(), calls.end()));
    QCOMPARE(s.client.processId(), 0);
}

void TestJet::oneRequestAtATime()
{
    // A window repainting while the engine works asks for more: that request
    // is refused at once, and the one under way gets its own answer.
    using kolta::jetwriter::Row;
    kolta::jetwriter::Table table{QStringLiteral("Numbers"), false, {{QStringLiteral("N")}}, {}};
    for (int i = 0; i < 3000; ++i)
        table.rows.append(Row{i});
    kolta::jetwriter::Database source;
    source.tables = {table};
    const QString path = m_dir.filePath(QStringLiteral("pairs.mdb"));
    QCOMPARE(fixtures::write(path, source), QString());

    EngineClient client;
    client.setProgram(EngineProgram);
    kolta::test::EngineGate gate(client);
    const Result<int> opened = client.open({path, QString(), QStringLiteral("Admin"), QString()});
    QVERIFY(opened.ok());
    const auto prepared = client.query({path, QString(), QStringLiteral("Admin"), QString()},
                                       QStringLiteral("SELECT Count(*) FROM Numbers AS A, Numbers AS B"));
    QVERIFY(prepared.ok());
    QStringList nested;
    client.setWaitHooks({{}, [&](int) {
        if (nested.isEmpty()) {
            const auto tables = client.tableDefs(opened.value());
            nested << (tables.ok() ? QStringLiteral("answered") : tables.error().message);
        }
        gate.open();
        return true;
    }, {}});
    // The answer waits until the nested request has been tried.
    gate.close();
    const auto fetched = client.fetch(prepared.value().cursor, 10, path);
    QVERIFY2(fetched.ok(), fetched.ok() ? "" : qPrintable(fetched.error().message));
    QCOMPARE(nested.size(), 1);
    QVERIFY2(nested.first().endsWith(QLatin1String("busy with another request.")), qPrintable(nested.first()));
    const auto rows = client.rows(prepared.value().cursor, 0, 1, path);
    QVERIFY(rows.ok());
    QCOMPARE(rows.value().rows, (QList<QVariantList>{{QStringLiteral("9000000")}}));
    QCOMPARE(client.startCount(), 1);
    QVERIFY(client.tableDefs(opened.value()).ok());
}

void TestJet::statementDeathIsNotRetried()
{
    // The engine opens the file, then ends in the middle of the statement
    // (as a statement too deep for it would end it).
    using R = protocol::Request;
    ScriptedClient s;
    answerOpen(s.script, 1);
    s.script.die();
    const protocol::OpenArgs args{m_small, QString(), QStringLiteral("Admin"), QString()};
    QVERIFY(s.client.open(args).ok());
    const auto prepared = s.client.query(args, QStringLiteral("SELECT 1"));
    QVERIFY(!prepared.ok());
    QVERIFY2(prepared.error().message.endsWith(QLatin1String(": the database engine stopped while running the statement.")),
             qPrintable(prepared.error().message));
    QCOMPARE(s.client.startCount(), 1);
    QCOMPARE(s.script.kinds(), (QList<R>{R::Open, R::QueryOpen}));
}

void TestJet::commandLine()
{
    QProcess process;
    process.start(EngineProgram, {QStringLiteral("tables"), m_small});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardError(), QByteArray());
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.first(), QStringLiteral("MSysObjects\t1\t0x80000000"));
    const int customers = int(lines.indexOf(QStringLiteral("Customers\t1\t0x00000000")));
    QVERIFY(customers > 0);
    QCOMPARE(lines.at(customers + 1), QStringLiteral("\tID\t4\t4"));
    QCOMPARE(lines.at(customers + 2), QStringLiteral("\tName\t10\t50"));
    QCOMPARE(lines.at(customers + 3), QStringLiteral("Orders\t1\t0x00000000"));
    QCOMPARE(lines.at(customers + 6), QStringLiteral("\tTotal\t5\t8"));

    // With a workgroup and a user of it.
    process.start(EngineProgram, {QStringLiteral("tables"), m_small, QStringLiteral("--system-db"), m_workgroup,
                                  QStringLiteral("--user"), QStringLiteral("bob"), QStringLiteral("--password"),
                                  QStringLiteral("x")});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);

    // Names are printed as they are, "%1" in them too.
    kolta::jetwriter::Table rates;
    rates.name = QStringLiteral("Rates %1");
    rates.columns = {{QStringLiteral("Pay %2"), kolta::jetwriter::ColumnType::Long}};
    kolta::jetwriter::Database percent;
    percent.tables = {rates};
    const QString path = m_dir.filePath(QStringLiteral("percent.mdb"));
    QCOMPARE(fixtures::write(path, percent), QString());
    process.start(EngineProgram, {QStringLiteral("tables"), path});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(process.readAllStandardOutput().endsWith("Rates %1\t1\t0x00000000\n\tPay %2\t4\t4\n"));
}

void TestJet::commandLineFailure()
{
    // A damaged catalog makes libmdb complain; only our one line comes out.
    QByteArray damaged = fixtures::readAll(m_small);
    damaged[2 * 4096] = 0x01;
    const QString path = m_dir.filePath(QStringLiteral("cli-damaged.mdb"));
    QVERIFY(fixtures::writeAll(path, damaged));
    QProcess process;
    process.start(EngineProgram, {QStringLiteral("tables"), path});
    QVERIFY(process.waitForFinished(30000));
    QVERIFY(process.exitCode() != 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    const QString error = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(error.count(u'\n'), 1);
    QVERIFY2(error.startsWith(QLatin1String("Cannot open \"") + path), qPrintable(error));

    process.start(EngineProgram, {QStringLiteral("tables"), m_small, QStringLiteral("--user")});
    QVERIFY(process.waitForFinished(30000));
    QVERIFY(process.exitCode() != 0);
}

namespace {

// Table -> fields (name, DAO type, text size or -1) as mdb-schema shows them.
QMap<QString, QList<std::tuple<QString, int, int>>> schemaOf(const QString &path, bool *ok)
{
    QMap<QString, QList<std::tuple<QString, int, int>>> tables;
    QProcess process;
    process.start(QStringLiteral("mdb-schema"), {path});
    *ok = process.waitForFinished(30000) && process.exitCode() == 0;
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n');
    static const QHash<QString, int> types = {
        {QStringLiteral("Boolean"), dbBoolean}, {QStringLiteral("Byte"), dbByte},
        {QStringLiteral("Integer"), dbInteger}, {QStringLiteral("Long Integer"), dbLong},
        {QStringLiteral("Currency"), dbCurrency}, {QStringLiteral("Single"), dbSingle},
        {QStringLiteral("Double"), dbDouble}, {QStringLiteral("DateTime"), dbDate},
        {QStringLiteral("Binary"), dbBinary}, {QStringLiteral("Text"), dbText},
        {QStringLiteral("OLE"), dbLongBinary}, {QStringLiteral("Memo/Hyperlink"), dbMemo},
        {QStringLiteral("Replication ID"), dbGUID}, {QStringLiteral("Numeric"), dbDecimal},
    };
    static const QRegularExpression table(QStringLiteral("^CREATE TABLE \\[(.*)\\]$"));
    static const QRegularExpression field(QStringLiteral("^\\t\\[(.*)\\]\\t+([A-Za-z/ ]+?)(?: \\((\\d+)(?:, ?\\d+)?\\))?( NOT NULL)?,? ?$"));
    QString current;
    for (const QString &line : lines) {
        if (const auto m = table.match(line); m.hasMatch()) {
            current = m.captured(1);
            tables[current];
        } else if (const auto f = field.match(line); f.hasMatch() && !current.isEmpty()) {
            const int type = types.value(f.captured(2), -1);
            const int size = type == dbText ? f.captured(3).toInt() : -1;
            tables[current].append({f.captured(1), type, size});
        }
    }
    return tables;
}

const char *const GoodCorpusFiles[] = {
    "DateTestDatabase.mdb", "delColTestV2000.mdb", "empty.mdb", "emptyJet4.mdb",
    "fixedNumericTestV2000.mdb", "fixedTextTestV2000.mdb", "overflowTestV2000.mdb",
    "test2V1997.mdb", "test2V2000.mdb", "testUnicodeCompV2003.mdb", "testV1997.mdb", "testV2000.mdb",
};

const char *const AccdbCorpusFiles[] = {
    "ASampleDatabase.accdb", "calcFieldTestV2010.accdb", "complexDataTestV2010.accdb",
    "extDateTestV2019.accdb", "queryTestV2007.accdb", "testV2010.accdb",
};

// A "path" row for each named file of the corpus, when it is here.
template<size_t N>
void addCorpusRows(const char *const (&names)[N])
{
    if (!QFileInfo::exists(Corpus))
        return;
    for (const char *name : names)
        QTest::newRow(name) << Corpus + QLatin1Char('/') + QLatin1String(name);
}

} // namespace

void TestJet::corpusTableLists_data()
{
    QTest::addColumn<QString>("path");
    addCorpusRows(GoodCorpusFiles);
    addCorpusRows(AccdbCorpusFiles);
}

// Every real file lists its tables, and only its tables, as mdb-tables
// lists the user tables; forms and reports beside them are left out.
void TestJet::corpusTableLists()
{
    if (!QFileInfo::exists(Corpus))
        QSKIP("the shared corpus of real files is not here");
    QFETCH(QString, path);
    QProcess reference;
    reference.start(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), path});
    if (!reference.waitForFinished(30000) || reference.exitCode() != 0)
        QSKIP("mdb-tables is not available");
    const QStringList expected = QString::fromUtf8(reference.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);

    QProcess process;
    process.start(EngineProgram, {QStringLiteral("tables"), path});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.readAllStandardError(), QByteArray());
    QCOMPARE(process.exitCode(), 0);
    QStringList userTables;
    for (const QString &line : QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(u'\t');
        if (line.startsWith(u'\t') || parts.size() != 3)
            continue;
        QCOMPARE(parts.at(1), QStringLiteral("1"));
        if ((parts.at(2).toUInt(nullptr, 16) & 0x80000002u) == 0)
            userTables.append(parts.at(0));
    }
    QCOMPARE(userTables, expected);
}

void TestJet::corpusSavedQueries_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("select, attribute 1 kept")
        << "queryTestV2007.accdb" << "SelectQuery"
        << "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3 FROM ([Table1] LEFT JOIN [Table3] ON "
           "Table1.col1 = Table3.col1) INNER JOIN [Table2] ON (Table3.col1 = Table2.col1) AND (Table3.col1 = "
           "Table2.col2) WHERE (((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\"))) ORDER BY Table2.col1"
        << "";
    QTest::newRow("crosstab")
        << "queryTestV2007.accdb" << "CrosstabQuery"
        << "TRANSFORM Count([Table2].[col2]) AS [CountOfcol2] SELECT Table2_1.col1, [Table2].[col3], "
           "Avg(Table2_1.col2) AS [AvgOfcol2] FROM ([Table1] INNER JOIN [Table2] ON [Table1].[col1]=[Table2].[col1]) "
           "INNER JOIN [Table2] AS [Table2_1] ON [Table2].[col1]=Table2_1.col3 WHERE ((([Table1].[col1])>\"10\") And "
           "((Table2_1.col1) Is Not Null) And ((Avg(Table2_1.col2))>\"10\")) GROUP BY Table2_1.col1, [Table2].[col3] "
           "ORDER BY [Table2].[col3] PIVOT [Table1].[col1]"
        << "";
    QTest::newRow("union") << "queryTestV2007.accdb" << "UnionQuery"
                           << "Select Table1.col1, Table1.col2\r\nwhere Table1.col1 = \"foo\"\r\nUNION\r\n"
                              "Select Table2.col1, Table2.col2 UNION ALL Select Table3.col1, Table3.col2\r\n"
                              "where Table3.col3 > \"blah\""
                           << "";
    QTest::newRow("make-table") << "queryTestV2007.accdb" << "MakeTableQuery" << "" << "make-table";
    QTest::newRow("append") << "queryTestV2007.accdb" << "AppendQuery" << "" << "append";
    QTest::newRow("update") << "queryTestV2007.accdb" << "UpdateQuery" << "" << "update";
    QTest::newRow("delete") << "queryTestV2007.accdb" << "DeleteQuery" << "" << "delete";
    QTest::newRow("data definition") << "queryTestV2007.accdb" << "DataDefinitionQuery" << "" << "data-definition";
    QTest::newRow("pass-through") << "queryTestV2007.accdb" << "PassthroughQuery" << "" << "pass-through";
    QTest::newRow("select, no attribute 1")
        << "ASampleDatabase.accdb" << "qryCostsSummedByOwner"
        << "SELECT [Asset Items].[Owner], [Asset Items].[Asset Category], Sum([Asset Items].[Cost]) AS [SumOfCost] "
           "FROM [Asset Items] GROUP BY [Asset Items].[Owner], [Asset Items].[Asset Category]"
        << "";
    QTest::newRow("all fields by flag") << "ASampleDatabase.accdb" << "~sq_ffrmAssetInventory"
                                        << "SELECT DISTINCTROW * FROM [Asset Items]" << "";
}

// How the saved queries of real files read: select, crosstab and union
// queries as Jet SQL, the others refused by their type.
void TestJet::corpusSavedQueries()
{
    if (!QFileInfo::exists(Corpus))
        QSKIP("the shared corpus of real files is not here");
    QFETCH(QString, file);
    QFETCH(QString, query);
    QFETCH(QString, sql);
    QFETCH(QString, refusal);
    const auto jet = engine::JetFile::open(Corpus + QLatin1Char('/') + file);
    QVERIFY2(jet.ok(), jet.ok() ? "" : qPrintable(jet.error().message));
    QList<engine::CatalogEntry> queries;
    const auto tables = jet.value()->readCatalog(&queries);
    QVERIFY2(tables.ok(), tables.ok() ? "" : qPrintable(tables.error().message));
    const auto read = engine::readSavedQueries(*jet.value(), tables.value(), queries);
    QVERIFY2(read.ok(), read.ok() ? "" : qPrintable(read.error().message));
    const QList<kolta::jetsql::CatalogQuery> &saved = read.value();
    const auto found = std::find_if(saved.cbegin(), saved.cend(), [&](const auto &q) { return q.name == query; });
    QVERIFY(found != saved.cend());
    QCOMPARE(found->jetSql, sql);
    if (refusal.isEmpty())
        QCOMPARE(found->refusal, QString());
    else
        QVERIFY2(found->refusal.contains(QStringLiteral("(its type: %1)").arg(refusal)), qPrintable(found->refusal));
}

void TestJet::corpusGoodFiles_data()
{
    QTest::addColumn<QString>("path");
    addCorpusRows(GoodCorpusFiles);
}

void TestJet::corpusGoodFiles()
{
    if (!QFileInfo::exists(Corpus))
        QSKIP("the shared corpus of real files is not here");
    QFETCH(QString, path);
    bool schemaOk = false;
    const auto expected = schemaOf(path, &schemaOk);
    if (!schemaOk)
        QSKIP("mdb-schema is not available");

    DBEngine engine;
    auto db = engine.OpenDatabase(path);
    QVERIFY2(db.ok(), db.ok() ? "" : qPrintable(db.error().message));
    const auto tables = db.value()->TableDefs();
    QVERIFY(tables.ok());
    QStringList userTables;
    for (const TableDef &t : tables.value()) {
        const Result<TableDef> def = db.value()->TableDefsItem(t.Name);
        QVERIFY2(def.ok(), def.ok() ? "" : qPrintable(def.error().message));
        QVERIFY(!def.value().Fields.isEmpty());
        if (t.catalogType == 1 && (t.flags & 0x80000002u) == 0)
            userTables.append(t.Name);
        if (!expected.contains(t.Name))
            continue;
        const auto &want = expected.value(t.Name);
        const QList<Field> &got = def.value().Fields;
        QCOMPARE(got.size(), want.size());
        for (int i = 0; i < got.size(); ++i) {
            QCOMPARE(got.at(i).Name, std::get<0>(want.at(i)));
            QCOMPARE(int(got.at(i).Type), std::get<1>(want.at(i)));
            if (std::get<2>(want.at(i)) >= 0)
                QCOMPARE(got.at(i).Size, std::get<2>(want.at(i)));
        }
    }
    QStringList schemaTables = expected.keys();
    schemaTables.sort();
    userTables.sort();
    QCOMPARE(userTables, schemaTables);
}

void TestJet::corpusBrokenFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");
    if (!QFileInfo::exists(Corpus))
        return;
    QTest::newRow("zero length") << Corpus + "/zero-length.mdb" << "empty";
    QTest::newRow("truncated") << Corpus + "/truncated-testV2000.mdb" << "truncated";
    QTest::newRow("not a database") << Corpus + "/not-a-database.mdb" << "not an Access";
}

void TestJet::corpusBrokenFiles()
{
    if (!QFileInfo::exists(Corpus))
        QSKIP("the shared corpus of real files is not here");
    QFETCH(QString, path);
    QFETCH(QString, reason);
    DBEngine engine;
    const auto db = engine.OpenDatabase(path);
    QVERIFY(!db.ok());
    QVERIFY2(db.error().message.contains(reason), qPrintable(db.error().message));
    QVERIFY(db.error().message.contains(QFileInfo(path).fileName()));
}

void TestJet::mutatedFiles()
{
    // Random bytes changed in the first pages and in the data pages of a
    // small file: every open, listing and read either works or ends in an
    // engine error within the bound; the engine neither crashes nor leaves
    // a sanitizer report, and this process lives on.
    const int count = qEnvironmentVariableIsSet("KOLTA_MUTATIONS") ? qEnvironmentVariableIntValue("KOLTA_MUTATIONS")
                                                                    : 300;
    const int boundMs = 3000;
    // A hand run may mutate another file (KOLTA_MUTATION_BASE).
    const QString base = qEnvironmentVariable("KOLTA_MUTATION_BASE", m_everything);
    const QByteArray original = fixtures::readAll(base);
    const int pageSize = original.size() > 0x14 && original.at(0x14) == 0 ? 2048 : 4096;
    const int pages = int(original.size() / pageSize);
    QTemporaryDir dir;
    QRandomGenerator random(20261207);
    DBEngine engine;
    engine.client()->setTimeoutMs(boundMs);
    int ok = 0, errors = 0, crashes = 0, hangs = 0;
    int rowsOk = 0, rowErrors = 0, rowCrashes = 0, rowHangs = 0;
    const QStringList reportsBefore = engineReports();
    for (int n = 0; n < count; ++n) {
        QByteArray bytes = original;
        const int changes = 1 + int(random.bounded(16));
        for (int c = 0; c < changes; ++c) {
            // Half the changes hit the first pages (header, free map, the
            // catalog's definition and rows), the rest any page.
            const int page = random.bounded(2) ? int(random.bounded(qMin(pages, 6))) : int(random.bounded(pages));
            // Bytes near a page's start hold its type, counts and pointers.
            const int offset = page * pageSize + int(random.bounded(random.bounded(2) ? 64 : pageSize));
            static const char extremes[] = {'\0', '\x01', '\x7f', '\x80', '\xff'};
            // Now and then a whole run of bytes, as a bad sector leaves it.
            const int run = random.bounded(8) ? 1 : 2 + int(random.bounded(62));
            for (int i = 0; i < run && offset + i < bytes.size(); ++i)
                bytes[offset + i] = random.bounded(3) ? char(random.bounded(256)) : extremes[random.bounded(5)];
        }
        const QString path = dir.filePath(QStringLiteral("m%1.mdb").arg(n));
        QVERIFY(fixtures::writeAll(path, bytes));

        bool failed = false;
        // An engine gone after an error either hung (and was ended at the
        // bound, which its message says) or died.
        const auto note = [&](const Error &error) {
            QVERIFY(!error.message.isEmpty());
            if (!engine.client()->processId())
                ++(error.message.contains(QLatin1String("did not answer within")) ? hangs : crashes);
            else
                ++errors;
            failed = true;
        };
        auto db = engine.OpenDatabase(path);
        if (!db.ok()) {
            note(db.error());
        } else {
            const auto tables = db.value()->TableDefs();
            if (!tables.ok()) {
                note(tables.error());
            } else {
                for (const TableDef &t : tables.value()) {
                    const auto def = db.value()->TableDefsItem(t.Name);
                    if (!def.ok()) {
                        note(def.error());
                        break;
                    }
                }
            }
        }
        if (!failed)
            ++ok;
        switch (readRowsInChild(path, boundMs)) {
        case RowRead::Ok: ++rowsOk; break;
        case RowRead::Error: ++rowErrors; break;
        case RowRead::Crash: ++rowCrashes; break;
        case RowRead::Hang: ++rowHangs; break;
        }
        QFile::remove(path);
    }
    qInfo("mutated files: %d ok, %d engine errors, %d engine crashes, %d engine hangs", ok, errors, crashes,
          hangs);
    qInfo("their rows: %d read, %d errors, %d crashes, %d hangs", rowsOk, rowErrors, rowCrashes, rowHangs);
    QCOMPARE(ok + errors + crashes + hangs, count);
    QCOMPARE(rowsOk + rowErrors + rowCrashes + rowHangs, count);
    QStringList reports = engineReports();
    for (const QString &old : reportsBefore)
        reports.removeOne(old);
    QVERIFY2(reports.isEmpty(), reports.isEmpty() ? "" : fixtures::readAll(reports.first()).left(4000).constData());
    QCOMPARE(crashes, 0);
    QCOMPARE(rowCrashes, 0);
}

namespace {

// An SQLite connection with the Jet tables of one file as virtual tables.
class SqlOverJet
{
public:
    explicit SqlOverJet(const QString &path)
    {
        auto opened = engine::JetFile::open(path);
        if (!opened.ok())
            return;
        file = std::move(opened.value());
        const auto entries = file->readCatalog();
        if (!entries.ok())
            return;
        sqlite3_open(":memory:", &db);
        engine::registerJetModule(db, file.get());
        for (const engine::CatalogEntry &entry : entries.value()) {
            if (entry.type != engine::LocalTable || entry.name.startsWith(QLatin1String("MSys")))
                continue;
            const Result<void> created = engine::createJetTable(db, entry.name, entry);
            if (!created.ok())
                error += created.error().message;
        }
    }
    ~SqlOverJet() { sqlite3_close(db); }

    // The rows of a query, each value a QVariant of its SQLite class.
    QList<QVariantList> rows(const QString &sql, QString *failure = nullptr)
    {
        QList<QVariantList> result;
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK) {
            if (failure)
                *failure = QString::fromUtf8(sqlite3_errmsg(db));
            return result;
        }
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            QVariantList row;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                switch (sqlite3_column_type(statement, i)) {
                case SQLITE_INTEGER: row.append(qlonglong(sqlite3_column_int64(statement, i))); break;
                case SQLITE_FLOAT: row.append(sqlite3_column_double(statement, i)); break;
                case SQLITE_TEXT:
                    row.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, i))));
                    break;
                case SQLITE_BLOB:
                    row.append(QByteArray(static_cast<const char *>(sqlite3_column_blob(statement, i)),
                                          sqlite3_column_bytes(statement, i)));
                    break;
                default: row.append(QVariant()); break;
                }
            }
            result.append(row);
        }
        if (rc != SQLITE_DONE && failure)
            *failure = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(statement);
        return result;
    }

    std::unique_ptr<engine::JetFile> file;
    sqlite3 *db = nullptr;
    QString error;
};

} // namespace

namespace {

RowRead readRowsInChild(const QString &path, int boundMs)
{
    const pid_t child = ::fork();
    if (child == 0) {
        // A child that hangs ends itself; the parent only waits.
        ::alarm(unsigned((boundMs + 999) / 1000));
        SqlOverJet sql(path);
        // Exit codes: 0 read, 3 an error; anything else (a signal, the
        // sanitizer's own code) is a crash.
        if (!sql.file || !sql.error.isEmpty())
            ::_exit(3);
        const auto tables = sql.rows(QStringLiteral("SELECT name FROM temp.sqlite_schema WHERE type = 'table'"));
        for (const QVariantList &table : tables) {
            QString failure;
            sql.rows(QStringLiteral("SELECT * FROM temp.\"%1\"").arg(table.at(0).toString()), &failure);
            if (!failure.isEmpty())
                ::_exit(3);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
        return RowRead::Hang;
    if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 3))
        return RowRead::Crash;
    return WEXITSTATUS(status) == 0 ? RowRead::Ok : RowRead::Error;
}

} // namespace

void TestJet::sqlValues_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QVariant>("value");
    // 2001-02-03 04:05:06 as Jet counts days.
    const double when = 36925.0 + (4 * 3600 + 5 * 60 + 6) / 86400.0;
    QTest::newRow("yes/no") << "Flag" << QVariant(qlonglong(-1));
    QTest::newRow("byte") << "Tiny" << QVariant(qlonglong(7));
    QTest::newRow("integer") << "Small" << QVariant(qlonglong(300));
    QTest::newRow("long") << "Count" << QVariant(qlonglong(70000));
    QTest::newRow("currency") << "Price" << QVariant(qlonglong(125000));   // ten-thousandths, exact
    QTest::newRow("single") << "Ratio" << QVariant(0.5);
    QTest::newRow("double") << "Measure" << QVariant(2.25);
    QTest::newRow("date") << "When" << QVariant(when);
    QTest::newRow("binary") << "Blob" << QVariant(QByteArray("\x01\x02", 2));
    QTest::newRow("text") << "Title" << QVariant(QStringLiteral("hello"));
    QTest::newRow("ole") << "Picture" << QVariant(QByteArray("ole"));
    QTest::newRow("memo") << "Notes" << QVariant(QStringLiteral("a memo"));
    QTest::newRow("guid") << "Guid" << QVariant(QStringLiteral("{12345678-1234-1234-1234-123456789ABC}"));
    QTest::newRow("decimal") << "Amount" << QVariant(QStringLiteral("123.4567"));   // exact, as text
}

void TestJet::sqlValues()
{
    QFETCH(QString, column);
    QFETCH(QVariant, value);
    SqlOverJet sql(m_everything);
    QVERIFY(sql.file);
    QCOMPARE(sql.error, QString());
    QString failure;
    const auto rows = sql.rows(QStringLiteral("SELECT \"%1\" FROM Everything").arg(column), &failure);
    QCOMPARE(failure, QString());
    QCOMPARE(rows.size(), 1);
    const QVariant got = rows.at(0).at(0);
    QCOMPARE(got.typeId(), value.typeId());
    if (value.typeId() == QMetaType::Double)
        QVERIFY2(qAbs(got.toDouble() - value.toDouble()) < 1e-6, qPrintable(got.toString()));
    else
        QCOMPARE(got, value);
}

void TestJet::sqlNullsAndLongValues()
{
    using kolta::jetwriter::ColumnType;
    using kolta::jetwriter::Row;
    kolta::jetwriter::Table table;
    table.name = QStringLiteral("Mixed");
    table.columns = {{QStringLiteral("ID"), ColumnType::Long},
                     {QStringLiteral("Word"), ColumnType::Text, 50},
                     {QStringLiteral("Flag"), ColumnType::YesNo},
                     {QStringLiteral("Notes"), ColumnType::Memo},
                     {QStringLiteral("Data"), ColumnType::Ole}};
    QString longText;
    for (int i = 0; i < 3000; ++i)
        longText += QChar(0x410 + i % 32);   // Cyrillic: stored without compression
    QByteArray longData;
    for (int i = 0; i < 20000; ++i)
        longData += char(i * 7);
    table.rows = {Row{1, QVariant(), false, QVariant(), QVariant()},
                  Row{2, QString(""), true, QStringLiteral("Größe"), QByteArray("x")},
                  Row{3, QStringLiteral("Ελλάδα \U0001F600"), false, longText, longData}};
    kolta::jetwriter::Database source;
    source.tables = {table};
    const QString path = m_dir.filePath(QStringLiteral("mixed.mdb"));
    QCOMPARE(fixtures::write(path, source), QString());

    SqlOverJet sql(path);
    QVERIFY(sql.file);
    QString failure;
    const auto rows = sql.rows(QStringLiteral("SELECT ID, Word, Flag, Notes, Data FROM Mixed ORDER BY ID"), &failure);
    QCOMPARE(failure, QString());
    QCOMPARE(rows.size(), 3);
    QVERIFY(rows.at(0).at(1).isNull());
    QCOMPARE(rows.at(0).at(2), QVariant(qlonglong(0)));
    QVERIFY(rows.at(0).at(3).isNull());
    QVERIFY(rows.at(0).at(4).isNull());
    QCOMPARE(rows.at(1).at(1), QVariant(QString()));
    QVERIFY(!rows.at(1).at(1).isNull());
    QCOMPARE(rows.at(1).at(2), QVariant(qlonglong(-1)));
    QCOMPARE(rows.at(1).at(3), QVariant(QStringLiteral("Größe")));
    QCOMPARE(rows.at(1).at(4), QVariant(QByteArray("x")));
    QCOMPARE(rows.at(2).at(1), QVariant(QStringLiteral("Ελλάδα \U0001F600")));
    QCOMPARE(rows.at(2).at(3).toString().size(), longText.size());
    QCOMPARE(rows.at(2).at(3), QVariant(longText));
    QCOMPARE(rows.at(2).at(4).toByteArray().size(), longData.size());
    QCOMPARE(rows.at(2).at(4), QVariant(longData));
}

// Text as Access stored it: compressed, plain UCS-2 and control characters.
void TestJet::sqlTextOfARealFile()
{
    if (!QFileInfo::exists(Corpus))
        QSKIP("the shared corpus of real files is not here");
    SqlOverJet sql(Corpus + QLatin1String("/testUnicodeCompV2003.mdb"));
    QVERIFY(sql.file);
    QString failure;
    const auto rows = sql.rows(QStringLiteral("SELECT Unicode FROM \"Table\" ORDER BY ID"), &failure);
    QCOMPARE(failure, QString());
    QCOMPARE(rows.size(), 8);
    const QStringList expected{QStringLiteral("only ascii chars"), QStringLiteral("ääkkösiä"), QStringLiteral("Мир"),
                               QStringLiteral("\u03F0\u03B1\u1F76 \u03C4\u1F79\u03C4' \u1F10\u03B3\u1F7C \u039A\u1F7B\u03F0\u03BB\u03C9\u03C0\u03B1"), QStringLiteral("漢字仮名交じり文"),
                               QStringLiteral("3L9\u001D52\u0002_AB(¥\u0005!!V"), QStringLiteral("ümlaut")};
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(rows.at(i).at(0).toString(), expected.at(i));
    const QString all = rows.at(7).at(0).toString();
    QCOMPARE(all.size(), 255);
    QVERIFY(all.contains(QStringLiteral("0123456789:;<=>?@ABC")));
}

void TestJet::sqlManyRowsAndTwoCursors()
{
    using kolta::jetwriter::ColumnType;
    using kolta::jetwriter::Row;
    kolta::jetwriter::Table table;
    table.name = QStringLiteral("Numbers");
    table.columns = {{QStringLiteral("N"), ColumnType::Long}, {QStringLiteral("Label"), ColumnType::Text, 20}};
    for (int i = 1; i <= 3000; ++i)
        table.rows.append(Row{i, QStringLiteral("n%1").arg(i)});
    kolta::jetwriter::Database source;
    source.tables = {table, fixtures::small().tables.at(0)};
    const QString path = m_dir.filePath(QStringLiteral("numbers.mdb"));
    QCOMPARE(fixtures::write(path, source), QString());

    SqlOverJet sql(path);
    QVERIFY(sql.file);
    QString failure;
    auto rows = sql.rows(QStringLiteral("SELECT count(*), sum(N), min(Label), max(N) FROM Numbers"), &failure);
    QCOMPARE(failure, QString());
    QCOMPARE(rows.at(0), (QVariantList{qlonglong(3000), qlonglong(3000 * 3001 / 2), QStringLiteral("n1"),
                                       qlonglong(3000)}));
    // Two cursors over one table, stepping in turn.
    rows = sql.rows(QStringLiteral("SELECT count(*), sum(b.N) FROM Numbers a JOIN Numbers b ON b.N = a.N + 1 "
                                   "WHERE a.N <= 10"), &failure);
    QCOMPARE(failure, QString());
    QCOMPARE(rows.at(0), (QVariantList{qlonglong(10), qlonglong(65)}));
    rows = sql.rows(QStringLiteral("SELECT c.Name, n.Label FROM Customers c JOIN Numbers n ON n.N = c.ID ORDER BY 1"),
                    &failure);
    QCOMPARE(failure, QString());
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(1), (QVariantList{QStringLiteral("Bo"), QStringLiteral("n2")}));
    // The first rows come without reading the rest.
    rows = sql.rows(QStringLiteral("SELECT N FROM Numbers LIMIT 2"), &failure);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(1).at(0), QVariant(qlonglong(2)));
}

void TestJet::sqlIsReadOnly()
{
    const QByteArray before = fixtures::readAll(m_small);
    SqlOverJet sql(m_small);
    QVERIFY(sql.file);
    for (const char *change : {"INSERT INTO Customers VALUES (3, 'Cy')", "UPDATE Customers SET Name = 'x'",
                               "DELETE FROM Customers"}) {
        QString failure;
        sql.rows(QString::fromLatin1(change), &failure);
        QVERIFY2(!failure.isEmpty(), change);
    }
    QCOMPARE(sql.rows(QStringLiteral("SELECT count(*) FROM Customers")).at(0).at(0), QVariant(qlonglong(2)));
    QCOMPARE(fixtures::readAll(m_small), before);
}

// Jet 3 keeps text in the file's code page; bytes windows-1252 leaves
// unassigned read as the control characters of the same number, as Windows
// reads them, never as "?".
void TestJet::sqlJet3TextAsWindowsReadsIt()
{
    const QString real = Corpus + QStringLiteral("/testV1997.mdb");
    if (!QFileInfo::exists(real))
        QSKIP("the shared corpus of real files is not here");
    QByteArray bytes = fixtures::readAll(real);
    const qsizetype at = bytes.indexOf("abcdefg");
    QVERIFY(at > 0);
    bytes.replace(at, 7, QByteArray("a\x81\x8d\x8f\x90\x9d\x80", 7));
    const QString path = m_dir.filePath(QStringLiteral("jet3.mdb"));
    QVERIFY(fixtures::writeAll(path, bytes));
    SqlOverJet sql(path);
    QVERIFY(sql.file);
    const auto rows = sql.rows(QStringLiteral("SELECT A FROM Table1 WHERE C = 2"));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).at(0).toString(), QStringLiteral("a\u0081\u008d\u008f\u0090\u009d\u20ac"));
}

namespace {

// What a file cut short gives, read in a child process (libmdb may crash on
// it): the names the catalog lists, then the number of rows each table
// reads through a statement with a digest of their values, -1 where the
// statement fails. Empty when the child dies, or hangs past boundSeconds
// (0: no bound).
QStringList readCutFileInChild(const QString &path, const QStringList &tables, unsigned boundSeconds)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(boundSeconds);
        ::close(fds[0]);
        // libmdb's complaints about the missing pages stay out of the log.
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        QStringList out;
        const auto file = engine::JetFile::open(path);
        const auto entries = file.ok() ? file.value()->readCatalog() : file.error();
        QStringList names;
        if (entries.ok()) {
            for (const engine::CatalogEntry &e : entries.value())
                names.append(e.name);
            out.append(names.join(u','));
        } else {
            out.append(QStringLiteral("-"));
        }
        for (const QString &table : tables) {
            // Every value is read and summed up: memo and OLE values may lie
            // on pages cut off.
            qint64 count = 0;
            QCryptographicHash values(QCryptographicHash::Sha1);
            const auto statement = engine::Statement::prepare(
                {path, QString(), QStringLiteral("Admin"), QString()},
                QStringLiteral("SELECT * FROM [%1]").arg(table), engine::Statement::Form::Raw);
            const bool read = statement.ok() && statement.value()->each([&](const QVariantList &row) {
                ++count;
                for (const QVariant &value : row)
                    values.addData(value.toString().toUtf8() + '\x1f');
            }).ok();
            out.append(read ? QString::number(count) + QLatin1Char(' ') + QString::fromLatin1(values.result().toHex())
                            : QStringLiteral("-1"));
        }
        const QByteArray bytes = out.join(u'\n').toUtf8();
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fds[1], bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                break;
            done += n;
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    // The pipe ends when the child does, however it ends.
    QByteArray got;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0)
            got.append(buffer, n);
        else if (errno != EINTR)
            break;
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    return QString::fromUtf8(got).split(u'\n');
}

} // namespace

void TestJet::sqlCutFilesNeverReadShort_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("step");   // every step-th page boundary
    QTest::newRow("Jet 3") << "testV1997.mdb" << 1;
    QTest::newRow("Jet 4") << "testV2000.mdb" << 9;
    QTest::newRow("Jet 4, rows on overflow pages") << "overflowTestV2000.mdb" << 1;
    QTest::newRow("ACE") << "ASampleDatabase.accdb" << 2;
}

// A file cut short on a page boundary lists all its tables or fails, and
// each table reads all its rows and values or fails: never fewer with success.
void TestJet::sqlCutFilesNeverReadShort()
{
    QFETCH(QString, file);
    QFETCH(int, step);
    if (!QFileInfo::exists(Corpus))
        QSKIP("the shared corpus of real files is not here");
    const QByteArray whole = fixtures::readAll(Corpus + QLatin1Char('/') + file);
    const int pageSize = whole.at(0x14) == 0 ? 2048 : 4096;
    const QString path = m_dir.filePath(QStringLiteral("cut.mdb"));
    QVERIFY(fixtures::writeAll(path, whole));
    QStringList tables;
    {
        const auto jet = engine::JetFile::open(path);
        QVERIFY(jet.ok());
        const auto entries = jet.value()->readCatalog();
        QVERIFY(entries.ok());
        for (const engine::CatalogEntry &e : entries.value())
            if (e.type == engine::LocalTable && (e.flags & 0x80000002u) == 0)
                tables.append(e.name);
    }
    // The whole file must be read, however slowly.
    const QStringList truth = readCutFileInChild(path, tables, 0);
    QCOMPARE(truth.size(), tables.size() + 1);
    QVERIFY(!truth.mid(1).contains(QStringLiteral("-1")));

    int failed = 0;
    for (int pages = 3; pages < whole.size() / pageSize; pages += step) {
        QVERIFY(fixtures::writeAll(path, whole.left(qsizetype(pages) * pageSize)));
        const QStringList got = readCutFileInChild(path, tables, 20);
        if (got.isEmpty()) {
            ++failed;
            continue;
        }
        const QByteArray where = QStringLiteral("%1 cut after %2 pages").arg(file).arg(pages).toUtf8();
        QVERIFY2(got.at(0) == QLatin1String("-") || got.at(0) == truth.at(0), where.constData());
        for (int i = 1; i < got.size(); ++i) {
            QVERIFY2(got.at(i) == QLatin1String("-1") || got.at(i) == truth.at(i),
                     (where + " " + tables.at(i - 1).toUtf8() + ": " + got.at(i).toUtf8() + ", not "
                      + truth.at(i).toUtf8())
                         .constData());
            failed += got.at(i) == QLatin1String("-1");
        }
    }
    QVERIFY(failed > 0);
}

// A memo whose page of long values is gone is damage, not a shorter text.
void TestJet::sqlLongValueOnLostPage()
{
    kolta::jetwriter::Table notes;
    notes.name = QStringLiteral("Notes");
    notes.columns = {{QStringLiteral("ID"), kolta::jetwriter::ColumnType::Long},
                     {QStringLiteral("Text"), kolta::jetwriter::ColumnType::Memo}};
    notes.rows.append({1, QString(9000, u'a')});
    kolta::jetwriter::Database db;
    db.tables = {notes};
    const QString path = m_dir.filePath(QStringLiteral("lost.mdb"));
    QCOMPARE(fixtures::write(path, db), QString());
    // The row points to the first page of the value's chain (page << 8 |
    // row); it now points past the end of the file.
    QByteArray bytes = fixtures::readAll(path);
    const quint32 page = quint32(bytes.indexOf("LVAL") / 4096);
    QVERIFY(page > 2);
    unsigned char pointer[4];
    qToLittleEndian<quint32>(page << 8, pointer);
    const qsizetype at = bytes.lastIndexOf(QByteArray(reinterpret_cast<const char *>(pointer), 4));
    QVERIFY(at > 0);
    qToLittleEndian<quint32>(0x00FFFF00u, pointer);
    bytes.replace(at, 4, QByteArray(reinterpret_cast<const char *>(pointer), 4));
    QVERIFY(fixtures::writeAll(path, bytes));
    SqlOverJet sql(path);
    QVERIFY(sql.file);
    QCOMPARE(sql.rows(QStringLiteral("SELECT count(*) FROM Notes")).at(0).at(0), QVariant(qlonglong(1)));
    QString failure;
    sql.rows(QStringLiteral("SELECT Text FROM Notes"), &failure);
    QVERIFY2(failure.contains(QLatin1String("cut short")), qPrintable(failure));
}

void TestJet::sqlPageCountingTooManyRows()
{
    // A data page whose row count was damaged upward: the bytes past its
    // real rows are never read as rows.
    if (!QFileInfo::exists(Corpus))
        QSKIP("the shared corpus of real files is not here");
    QByteArray bytes = fixtures::readAll(Corpus + QLatin1String("/testV2000.mdb"));
    const QString path = m_dir.filePath(QStringLiteral("counted.mdb"));
    QVERIFY(fixtures::writeAll(path, bytes));
    QString table;
    quint32 definition = 0;
    {
        const auto jet = engine::JetFile::open(path);
        QVERIFY(jet.ok());
        const auto entries = jet.value()->readCatalog();
        QVERIFY(entries.ok());
        for (const engine::CatalogEntry &e : entries.value()) {
            if (e.type == engine::LocalTable && e.flags == 0 && table.isEmpty()) {
                table = e.name;
                definition = e.id & 0x00FFFFFF;
            }
        }
    }
    constexpr int PageSize = 4096;
    constexpr int RowCountOffset = 12;
    bool patched = false;
    for (qsizetype at = 0; at + PageSize <= bytes.size() && !patched; at += PageSize) {
        char *page = bytes.data() + at;
        const quint16 rows = qFromLittleEndian<quint16>(page + RowCountOffset);
        if (page[0] == 1 && qFromLittleEndian<quint32>(page + 4) == definition && rows > 0) {
            qToLittleEndian<quint16>(quint16(rows + 40), page + RowCountOffset);
            patched = true;
        }
    }
    QVERIFY(patched);
    QVERIFY(fixtures::writeAll(path, bytes));
    QProcess process;
    process.start(EngineProgram, {QStringLiteral("query"), path, QStringLiteral("SELECT Count(*) FROM [%1]").arg(table)});
    QVERIFY(process.waitForFinished(60000));
    const QString error = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(error.contains(QLatin1String("counts more rows than it holds")), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestJet)
#include "tst_jet.moc"
