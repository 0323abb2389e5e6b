// kolta-engine: reads Access databases for KOLTA in a process of its own, so
// that a file which crashes or hangs libmdb cannot take the program with it.
//
//   kolta-engine [serve]     answer framed requests on stdin/stdout
//   kolta-engine tables FILE [--system-db MDW] [--user U] [--password P]
//   kolta-engine query FILE STATEMENT [--system-db MDW] [--user U] [--password P] [--raw]
//                [--param NAME=VALUE]... [--indexes | --no-indexes]
//   kolta-engine --help | --version

#include "opendatabase.h"
#include "reasons.h"
#include "server.h"
#include "statement.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

using namespace kolta;
using namespace kolta::jet;

namespace {

void writeText(int fd, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written <= 0)
            return;
        done += written;
    }
}

// libmdb reports on stdout and stderr as it likes; its words must never
// reach the user raw nor mix into the answers. Our own output goes to
// copies of the original descriptors.
void silenceLibrary(int *out, int *err)
{
    *out = ::dup(STDOUT_FILENO);
    *err = ::dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
}

// A sanitizer's report must not vanish with libmdb's chatter: it goes to
// $KOLTA_SANITIZER_LOG.<pid> when the tests name one, else to the real stderr.
void keepSanitizerReports([[maybe_unused]] int err)
{
#if defined(__SANITIZE_ADDRESS__)
    const QByteArray log = qgetenv("KOLTA_SANITIZER_LOG");
    if (!log.isEmpty())
        __sanitizer_set_report_path(log.constData());
    else
        __sanitizer_set_report_fd(reinterpret_cast<void *>(std::intptr_t(err)));
#endif
}

void limitProcess()
{
    // A crash on a damaged file must not leave a core file in anyone's folder.
    const rlimit noCore = {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
#if !defined(__SANITIZE_ADDRESS__)
    // A damaged length can make libmdb ask for absurd amounts of memory;
    // failing is better than swapping the machine to a halt.
    const rlimit memory = {rlim_t(4) << 30, rlim_t(4) << 30};
    ::setrlimit(RLIMIT_AS, &memory);
#endif
    // Names and text come out as UTF-8 whatever the caller's environment
    // says; Jet 3 text is decoded with the code page in the file's header
    // (windows-1252 when it names none libmdb knows).
    ::setenv("MDBICONV", "UTF-8", 1);
    ::unsetenv("MDB_JET3_CHARSET");
    ::unsetenv("MDBOPTS");
    // libmdb searches MDBPATH for names it cannot find, and loops forever on
    // an empty entry there.
    ::unsetenv("MDBPATH");
}

const QLatin1String TablesUsage{"usage: kolta-engine tables FILE [--system-db MDW] [--user U] [--password P]\n"};
const QLatin1String QueryUsage{
    "usage: kolta-engine query FILE STATEMENT [--system-db MDW] [--user U] [--password P] [--raw]\n"
    "                          [--param NAME=VALUE]... [--indexes | --no-indexes]\n"
    "  Prints the result's column names, then its rows, one line each, values separated by tabs.\n"
    "  Null is empty; numbers, dates and Yes/No as the grid shows them, or with --raw as plain\n"
    "  decimals, YYYY-MM-DD HH:MM:SS and -1/0. Inside values a backslash, tab, line feed and\n"
    "  carriage return are written as \\\\, \\t, \\n and \\r. A failing statement prints Jet's\n"
    "  message on stderr and exits with 1. --param gives the value of the parameter NAME (as the\n"
    "  statement writes it, without brackets), typed as in Access's parameter box. --indexes\n"
    "  adds, on stderr, which of the file's indexes the statement read (\"TABLE: index NAME\");\n"
    "  --no-indexes reads every table whole, as a check that the indexes change no result.\n"};

struct CommandArgs
{
    QStringList positional;
    protocol::OpenArgs login{QString(), QString(), QStringLiteral("Admin"), QString()};
    bool raw = false;
    bool showIndexes = false;
    bool useIndexes = true;
    QList<protocol::ParameterValue> values;
};

// Options may come anywhere; the rest are the command's positional values.
bool parseArgs(const QStringList &args, bool queryOptions, CommandArgs *parsed, int err)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        QString *value = arg == QLatin1String("--system-db") ? &parsed->login.systemDb
            : arg == QLatin1String("--user")                 ? &parsed->login.user
            : arg == QLatin1String("--password")             ? &parsed->login.password
                                                             : nullptr;
        if (value) {
            if (++i >= args.size()) {
                writeText(err, QStringLiteral("kolta-engine: %1 needs a value\n").arg(arg));
                return false;
            }
            *value = args.at(i);
        } else if (queryOptions && arg == QLatin1String("--raw")) {
            parsed->raw = true;
        } else if (queryOptions && arg == QLatin1String("--indexes")) {
            parsed->showIndexes = true;
        } else if (queryOptions && arg == QLatin1String("--no-indexes")) {
            parsed->useIndexes = false;
        } else if (queryOptions && arg == QLatin1String("--param")) {
            const qsizetype equals = i + 1 < args.size() ? args.at(i + 1).indexOf(QLatin1Char('=')) : -1;
            if (equals <= 0) {
                writeText(err, QStringLiteral("kolta-engine: --param needs NAME=VALUE\n"));
                return false;
            }
            const QString &given = args.at(++i);
            parsed->values.append({given.left(equals), given.mid(equals + 1)});
        } else {
            parsed->positional.append(arg);
        }
    }
    return true;
}

int listTables(const QStringList &args, int out, int err)
{
    CommandArgs parsed;
    if (!parseArgs(args, false, &parsed, err))
        return 2;
    if (parsed.positional.size() > 1) {
        writeText(err, QStringLiteral("kolta-engine: unexpected argument %1\n").arg(parsed.positional.at(1)));
        return 2;
    }
    if (parsed.positional.isEmpty()) {
        writeText(err, TablesUsage);
        return 2;
    }
    const QString file = parsed.positional.first();

    engine::OpenDatabase database(file);
    const Result<PasswordCheck> login = database.open(parsed.login.systemDb, parsed.login.user, parsed.login.password);
    if (!login.ok()) {
        writeText(err, login.error().message + QLatin1Char('\n'));
        return 1;
    }
    if (login.value() == PasswordCheck::LeftToServer)
        writeText(err, QString(reasons::PasswordLeftToServer).arg(parsed.login.user) + QLatin1Char('\n'));
    const Result<QList<TableDef>> tables = database.tableDefs();
    if (!tables.ok()) {
        writeText(err, tables.error().message + QLatin1Char('\n'));
        return 1;
    }
    int status = 0;
    for (const TableDef &entry : tables.value()) {
        // One arg() call: a name holding "%1" must not take the next value.
        writeText(out, QStringLiteral("%1\t%2\t0x%3\n")
                           .arg(entry.Name, QString::number(entry.catalogType),
                                QStringLiteral("%1").arg(entry.flags, 8, 16, QLatin1Char('0'))));
        const Result<TableDef> table = database.tableDef(entry.Name);
        if (!table.ok()) {
            writeText(err, table.error().message + QLatin1Char('\n'));
            status = 1;
            continue;
        }
        for (const Field &field : table.value().Fields)
            writeText(out, QStringLiteral("\t%1\t%2\t%3\n")
                               .arg(field.Name, QString::number(field.Type), QString::number(field.Size)));
    }
    return status;
}

// One value on one line: the separators of the output are escaped.
QString escaped(const QVariant &value)
{
    QString text = value.isNull() ? QString() : value.toString();
    if (!text.contains(QLatin1Char('\\')) && !text.contains(QLatin1Char('\t')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString result;
    result.reserve(text.size() + 8);
    for (const QChar c : std::as_const(text)) {
        switch (c.unicode()) {
        case '\\': result += QLatin1String("\\\\"); break;
        case '\t': result += QLatin1String("\\t"); break;
        case '\n': result += QLatin1String("\\n"); break;
        case '\r': result += QLatin1String("\\r"); break;
        default: result += c;
        }
    }
    return result;
}

int runQuery(const QStringList &args, int out, int err)
{
    CommandArgs parsed;
    if (!parseArgs(args, true, &parsed, err))
        return 2;
    if (parsed.positional.size() != 2) {
        writeText(err, QueryUsage);
        return 2;
    }
    engine::OpenDatabase database(parsed.positional.at(0));
    const Result<PasswordCheck> login = database.open(parsed.login.systemDb, parsed.login.user, parsed.login.password);
    if (!login.ok()) {
        writeText(err, login.error().message + QLatin1Char('\n'));
        return 1;
    }
    const Result<engine::CurrentFile> current = database.current();
    if (!current.ok()) {
        writeText(err, current.error().message + QLatin1Char('\n'));
        return 1;
    }
    engine::JetFile::IndexUse &indexUse = current.value().file->indexUse();
    indexUse.enabled = parsed.useIndexes;
    indexUse.recording = parsed.showIndexes;
    const auto prepared = engine::Statement::prepare(database, parsed.positional.at(1),
                                                     parsed.raw ? engine::Statement::Form::Raw
                                                                : engine::Statement::Form::Display,
                                                     jetsql::LikeWildcards::Dao, parsed.values);
    if (!prepared.ok()) {
        writeText(err, prepared.error().message + QLatin1Char('\n'));
        return 1;
    }
    const auto &statement = prepared.value();
    QStringList names;
    for (const QString &name : statement->names())
        names.append(escaped(name));
    QString buffer = names.join(QLatin1Char('\t')) + QLatin1Char('\n');
    const Result<bool> done = statement->each([&](const QVariantList &row) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i)
                buffer += QLatin1Char('\t');
            buffer += escaped(row.at(i));
        }
        buffer += QLatin1Char('\n');
        if (buffer.size() > 32 * 1024) {
            writeText(out, buffer);
            buffer.clear();
        }
    });
    writeText(out, buffer);
    for (const QString &used : std::as_const(indexUse.used))
        writeText(err, used + QLatin1Char('\n'));
    if (!done.ok()) {
        writeText(err, done.error().message + QLatin1Char('\n'));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    limitProcess();
    int out = -1;
    int err = -1;
    silenceLibrary(&out, &err);
    keepSanitizerReports(err);

    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));

    if (args.isEmpty() || args.first() == QLatin1String("serve")) {
        // The engine lives only as long as the program that started it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::signal(SIGPIPE, SIG_IGN);
        engine::Server server;
        return server.run(STDIN_FILENO, out);
    }
    if (args.first() == QLatin1String("tables"))
        return listTables(args.mid(1), out, err);
    if (args.first() == QLatin1String("query"))
        return runQuery(args.mid(1), out, err);
    const QString usage = QStringLiteral("usage: kolta-engine [serve]\n") + TablesUsage + QueryUsage;
    if (args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
        writeText(out, usage + QLatin1String("       kolta-engine --help | --version\n"));
        return 0;
    }
    if (args.first() == QLatin1String("--version")) {
        writeText(out, QStringLiteral("kolta-engine " KOLTA_VERSION "\n"));
        return 0;
    }
    writeText(err, usage);
    return 2;
}
