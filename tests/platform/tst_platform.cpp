#include "atomicfile.h"
#include "commondialog.h"
#include "pointer.h"
#include "printout.h"
#include "working.h"
#include "qtdesktop.h"
#include "scripteddesktop.h"
#include "fonts.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPrinter>
#include <QProcess>
#include <QSettings>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <sys/stat.h>
#include <sys/xattr.h>

using namespace kolta;

class tst_Platform : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Qt's file dialog keeps its state in the user's settings; tests keep theirs apart.
        QStandardPaths::setTestModeEnabled(true);
        installClassicFonts();
    }

    void nameFilters_data();
    void nameFilters();
    void fileDialogMatchesAnyLetterCase();
    void fileDialogReturnsChosenPath();
    void commonDialogKeepsValuesOnCancel();
    void colorDialogCarriesColor();
    void messageBoxLook();
    void hourglassRestoredOnEveryWayOut();
    void printerDocuments();
    void noPrinterOffersPdf();
    void pdfBreaksPages();
    void atomicWriteKeepsMode();
    void atomicWriteRefusesFolder();
    void atomicWriteTargets_data();
    void atomicWriteTargets();
    void stopEndsOnlyItsWork();
};

void tst_Platform::nameFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("access") << "MS Access databases (*.mdb)|*.mdb" << QStringList{"MS Access databases (*.mdb)"};
    QTest::newRow("no pattern in text") << "Pages|*.asp" << QStringList{"Pages (*.asp)"};
    QTest::newRow("two filters, two patterns") << "Access (*.mdb)|*.mdb|All|*.mdb;*.mdw"
                                               << QStringList{"Access (*.mdb)", "All (*.mdb *.mdw)"};
    QTest::newRow("empty") << "" << QStringList{};
}

void tst_Platform::nameFilters()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    QCOMPARE(qtNameFilters(filter), expected);
}

namespace {

// Runs action on the file dialog once it is up, while showFileDialog waits in it.
void onFileDialog(std::function<void(QFileDialog *)> action)
{
    QTimer::singleShot(0, [action] {
        QFileDialog *dialog = nullptr;
        for (int i = 0; i < 200 && !dialog; ++i) {
            dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                QTest::qWait(10);
        }
        if (dialog)
            action(dialog);
    });
}

QStringList visibleFiles(QFileDialog *dialog)
{
    auto *view = dialog->findChild<QAbstractItemView *>(QStringLiteral("listView"));
    if (!view)
        return {};
    QStringList names;
    for (int wait = 0; wait < 200; ++wait) {
        names.clear();
        const QModelIndex root = view->rootIndex();
        for (int row = 0; row < view->model()->rowCount(root); ++row)
            names << view->model()->index(row, 0, root).data().toString();
        if (names.size() >= 3)
            break;
        QTest::qWait(10);
    }
    names.sort();
    return names;
}

} // namespace

void tst_Platform::fileDialogMatchesAnyLetterCase()
{
    QTemporaryDir dir;
    for (const char *name : {"a.mdb", "B.MDB", "c.Mdb", "d.txt", "e.mdw"}) {
        QFile file(dir.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(41500, 'x'));
    }
    // Start from the dialog's own column widths, not ones saved by an earlier run.
    QSettings(QSettings::UserScope, QStringLiteral("QtProject")).remove(QStringLiteral("FileDialog"));
    QtDesktop desktop;
    QStringList seen;
    QList<int> cut;
    onFileDialog([&seen, &cut](QFileDialog *dialog) {
        seen = visibleFiles(dialog);
        // Size, Type and Date Modified are as wide as their texts in the detail view.
        auto *details = dialog->findChild<QTreeView *>(QStringLiteral("treeView"));
        auto tooNarrow = [details](int column) {
            return details->columnWidth(column) < static_cast<QAbstractItemView *>(details)->sizeHintForColumn(column);
        };
        for (const int column : {1, 2, 3}) {
            for (int wait = 0; wait < 100 && tooNarrow(column); ++wait)
                QTest::qWait(10);
            if (tooNarrow(column))
                cut << column;
        }
        dialog->reject();
    });
    const auto chosen = desktop.showFileDialog(nullptr, Desktop::FileDialogKind::Open,
                                               QStringLiteral("MS Access databases (*.mdb)|*.mdb"),
                                               dir.filePath(QStringLiteral("a.mdb")));
    QVERIFY(!chosen);
    QCOMPARE(seen, (QStringList{"B.MDB", "a.mdb", "c.Mdb"}));
    QCOMPARE(cut, QList<int>());
}

void tst_Platform::fileDialogReturnsChosenPath()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("new page.asp"));
    QtDesktop desktop;
    QString filterShown;
    onFileDialog([&](QFileDialog *dialog) {
        filterShown = dialog->selectedNameFilter();
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        dialog->setDirectory(dir.path());
        dialog->selectFile(target);
        static_cast<QDialog *>(dialog)->accept();
    });
    const auto chosen = desktop.showFileDialog(nullptr, Desktop::FileDialogKind::Save,
                                               QStringLiteral("Active Server Pages (*.asp)|*.asp"), QString());
    QCOMPARE(chosen, std::optional<QString>(target));
    QCOMPARE(filterShown, QStringLiteral("Active Server Pages (*.asp)"));
}

void tst_Platform::commonDialogKeepsValuesOnCancel()
{
    test::ScriptedDesktop desktop;
    CommonDialog cmd(desktop, nullptr);
    cmd.Filter = QStringLiteral("System Databases (*.mdw)|*.mdw");
    desktop.fileAnswers = {QStringLiteral("/w/system.mdw"), std::nullopt};
    QCOMPARE(cmd.ShowOpen(), DialogResult::Ok);
    QCOMPARE(cmd.FileName, QStringLiteral("/w/system.mdw"));
    QCOMPARE(cmd.ShowOpen(), DialogResult::Cancelled);
    QCOMPARE(cmd.FileName, QStringLiteral("/w/system.mdw"));
    // The second showing started from the first choice.
    QCOMPARE(desktop.fileDialogs.at(1).fileName, QStringLiteral("/w/system.mdw"));
    QCOMPARE(desktop.fileDialogs.at(1).kind, Desktop::FileDialogKind::Open);
    QCOMPARE(desktop.fileDialogs.at(1).filter, QStringLiteral("System Databases (*.mdw)|*.mdw"));
}

void tst_Platform::colorDialogCarriesColor()
{
    test::ScriptedDesktop desktop;
    CommonDialog cmd(desktop, nullptr);
    desktop.colorAnswers = {0x563412u, std::nullopt, 0xFFu};
    QCOMPARE(cmd.ShowColor(), DialogResult::Ok);
    QCOMPARE(cmd.ShowColor(), DialogResult::Cancelled);
    QCOMPARE(cmd.Color, 0x563412u);
    QCOMPARE(cmd.ShowColor(), DialogResult::Ok);
    QCOMPARE(desktop.colorDialogStarts, (QList<quint32>{0u, 0x563412u, 0x563412u}));
    QCOMPARE(cmd.Color, 0xFFu);
}

void tst_Platform::messageBoxLook()
{
    QtDesktop desktop;
    QString title, text, informative;
    int buttons = 0;
    bool wrapped = true;
    QMessageBox::Icon icon = QMessageBox::Critical;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        informative = box->informativeText();
        buttons = box->buttons().size();
        icon = box->icon();
        auto *reason = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
        wrapped = reason->height() > reason->heightForWidth(10000);
        box->button(QMessageBox::Ok)->click();
    });
    // A one-line reason under the short prompt stays one line.
    const QString why = QStringLiteral("The Microsoft Jet database engine cannot find the input table or query 'Orders'.");
    desktop.messageBox(nullptr, QStringLiteral("SQL Error!"), why);
    QCOMPARE(title, QStringLiteral("KOLTA"));
    QCOMPARE(text, QStringLiteral("SQL Error!"));
    QCOMPARE(informative, why);
    QCOMPARE(buttons, 1);
    QCOMPARE(icon, QMessageBox::NoIcon);
    QVERIFY(!wrapped);
}

void tst_Platform::hourglassRestoredOnEveryWayOut()
{
    QWidget window;
    auto work = [&window](bool fail) {
        const Hourglass hourglass(&window);
        if (window.cursor().shape() != Qt::WaitCursor)
            throw std::logic_error("no hourglass");
        if (fail)
            throw std::runtime_error("failed");
    };
    work(false);
    QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, work(true));
    QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
}

void tst_Platform::printerDocuments()
{
    test::ScriptedDesktop desktop;
    desktop.printerName = QStringLiteral("Office");
    Printer printer(desktop, nullptr);
    printer.setFontName(QStringLiteral("Courier"));
    printer.setFontSize(12);
    printer.printLine(QStringLiteral("one"));
    printer.printLine(QStringLiteral("two"));
    for (int document = 0; document < 2; ++document) {
        const auto printed = printer.endDoc();
        QVERIFY(printed.ok());
        QCOMPARE(printed.value(), PrintOutcome::Printed);
    }
    QCOMPARE(desktop.printed.size(), 2);
    QCOMPARE(desktop.printed.at(0).lines, (QStringList{"one", "two"}));
    QCOMPARE(desktop.printed.at(0).fontName, QStringLiteral("Courier"));
    QCOMPARE(desktop.printed.at(0).pointSize, 12.0);
    QVERIFY(desktop.printed.at(1).lines.isEmpty());
    QCOMPARE(desktop.printed.at(1).fontName, QStringLiteral("Courier"));
}

void tst_Platform::noPrinterOffersPdf()
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("fields.pdf"));
    test::ScriptedDesktop desktop;
    Printout doc{QStringLiteral("Courier"), 12, {QStringLiteral("ID      long")}};

    desktop.yesNoAnswers = {false};
    const auto declined = desktop.print(nullptr, doc);
    QVERIFY(declined.ok());
    QCOMPARE(declined.value(), PrintOutcome::Declined);
    QCOMPARE(desktop.questions.size(), 1);
    QVERIFY(desktop.fileDialogs.isEmpty());

    desktop.yesNoAnswers = {true};
    desktop.fileAnswers = {pdf};
    const auto saved = desktop.print(nullptr, doc);
    QVERIFY(saved.ok());
    QCOMPARE(saved.value(), PrintOutcome::Printed);
    QCOMPARE(desktop.fileDialogs.constLast().filter, QStringLiteral("PDF documents (*.pdf)|*.pdf"));
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.read(5).startsWith("%PDF"));
}

void tst_Platform::pdfBreaksPages()
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed.");
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("long.pdf"));
    Printout doc{QStringLiteral("Courier"), 12, {}};
    for (int i = 1; i <= 150; ++i)
        doc.lines << QStringLiteral("line %1%2end").arg(i, 3, 10, QLatin1Char('0')).arg(QString(30, QLatin1Char(' ')));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    QVERIFY(renderPrintout(printer, doc).ok());

    QProcess text;
    text.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(30000));
    const QString out = QString::fromUtf8(text.readAllStandardOutput());
    const QStringList pages = out.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    QVERIFY2(pages.size() >= 3, qPrintable(QString::number(pages.size())));
    QStringList printed;
    for (const QString &line : out.split(QLatin1Char('\n')))
        if (line.trimmed().startsWith(QLatin1String("line ")))
            printed << line.trimmed().simplified();
    QCOMPARE(printed.size(), 150);
    QCOMPARE(printed.constFirst(), QStringLiteral("line 001 end"));
    QCOMPARE(printed.constLast(), QStringLiteral("line 150 end"));
}

void tst_Platform::atomicWriteKeepsMode()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.asp"));
    QVERIFY(writeFileAtomically(path, "first").ok());
    struct stat info;
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    QCOMPARE(info.st_mode & 0777, 0666 & ~mask);

    // What else the replaced page had: an extended attribute where the
    // folder's disk takes one, another owner where the test may give it.
    const QByteArray native = QFile::encodeName(path);
    QCOMPARE(::chmod(native.constData(), 0640), 0);
    const bool labelled = ::setxattr(native.constData(), "user.kolta", "kept", 4, 0) == 0;
    const bool owned = ::geteuid() == 0 && ::chown(native.constData(), 4321, 4321) == 0;
    QVERIFY(writeFileAtomically(path, "second").ok());
    QCOMPARE(::stat(native.constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0640));
    if (labelled) {
        char value[8] = {};
        QCOMPARE(::getxattr(native.constData(), "user.kolta", value, sizeof value), ssize_t(4));
        QCOMPARE(QByteArray(value), QByteArray("kept"));
    }
    if (owned) {
        QCOMPARE(info.st_uid, uid_t(4321));
        QCOMPARE(info.st_gid, gid_t(4321));
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("second"));
}

void tst_Platform::atomicWriteRefusesFolder()
{
    QTemporaryDir dir;
    for (const QString &path : {dir.path(), QString(), dir.filePath(QStringLiteral("missing/p.asp"))}) {
        const Result<void> written = writeFileAtomically(path, "x");
        QVERIFY(!written.ok());
        QVERIFY(!written.error().message.isEmpty());
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void tst_Platform::atomicWriteTargets_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("written");
    QTest::newRow("symbolic link") << "link" << true;
    QTest::newRow("relative link behind a folder link") << "behind" << true;
    QTest::newRow("link to a page not there yet") << "dangling" << true;
    QTest::newRow("pipe") << "fifo" << false;
    QTest::newRow("link to a device") << "device" << false;
    QTest::newRow("hard link") << "hard" << false;
    QTest::newRow("read-only page") << "readonly" << false;
    QTest::newRow("250-character name") << "long" << true;
}

// Saving writes the page where the name leads, or refuses and changes nothing.
void tst_Platform::atomicWriteTargets()
{
    QFETCH(QString, kind);
    QFETCH(bool, written);
    QTemporaryDir dir;
    const auto name = [&](const QString &file) { return QFile::encodeName(dir.filePath(file)); };
    const auto contents = [&](const QString &file) {
        QFile f(dir.filePath(file));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    };
    QString saved = QStringLiteral("p.asp");
    QString page = saved;   // where the bytes should land
    if (kind != QLatin1String("dangling") && kind != QLatin1String("long")) {
        QFile old(dir.filePath(QStringLiteral("p.asp")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    if (kind == QLatin1String("link") || kind == QLatin1String("dangling")) {
        saved = QStringLiteral("link.asp");
        QCOMPARE(::symlink("p.asp", name(saved).constData()), 0);
    } else if (kind == QLatin1String("behind")) {
        // a/site leads to b/deep/site, whose page.asp is ../shared/page.asp:
        // the system reads b/deep/shared/page.asp, never a/shared/page.asp.
        for (const char *folder : {"a/shared", "b/deep/site", "b/deep/shared"})
            QVERIFY(QDir(dir.path()).mkpath(QLatin1String(folder)));
        QFile unrelated(dir.filePath(QStringLiteral("a/shared/page.asp")));
        QVERIFY(unrelated.open(QIODevice::WriteOnly));
        unrelated.write("unrelated");
        unrelated.close();
        QFile old(dir.filePath(QStringLiteral("b/deep/shared/page.asp")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        QCOMPARE(::symlink("../b/deep/site", name(QStringLiteral("a/site")).constData()), 0);
        QCOMPARE(::symlink("../shared/page.asp", name(QStringLiteral("b/deep/site/page.asp")).constData()), 0);
        saved = QStringLiteral("a/site/page.asp");
        page = QStringLiteral("b/deep/shared/page.asp");
    } else if (kind == QLatin1String("fifo")) {
        saved = QStringLiteral("fifo.asp");
        QCOMPARE(::mkfifo(name(saved).constData(), 0600), 0);
    } else if (kind == QLatin1String("device")) {
        saved = QStringLiteral("null.asp");
        QCOMPARE(::symlink("/dev/null", name(saved).constData()), 0);
    } else if (kind == QLatin1String("hard")) {
        saved = QStringLiteral("other.asp");
        QCOMPARE(::link(name(page).constData(), name(saved).constData()), 0);
    } else if (kind == QLatin1String("readonly")) {
        QCOMPARE(::chmod(name(page).constData(), 0444), 0);
    } else if (kind == QLatin1String("long")) {
        saved = page = QString(246, QLatin1Char('p')) + QLatin1String(".asp");
    }
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden
                                                          | QDir::System);
    const Result<void> saving = writeFileAtomically(dir.filePath(saved), "new");
    QCOMPARE(saving.ok(), written);
    if (written)
        QCOMPARE(contents(page), QByteArray("new"));
    else if (kind != QLatin1String("fifo") && kind != QLatin1String("device"))
        QCOMPARE(contents(page), QByteArray("old"));
    // Links stay links, nothing is left behind, nothing but the page changed.
    QCOMPARE(QFileInfo(dir.filePath(saved)).isSymLink(), kind == QLatin1String("link")
                 || kind == QLatin1String("dangling") || kind == QLatin1String("device")
                 || kind == QLatin1String("behind"));
    if (kind == QLatin1String("behind"))
        QCOMPARE(contents(QStringLiteral("a/shared/page.asp")), QByteArray("unrelated"));
    QStringList after = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden
                                                   | QDir::System);
    if (kind == QLatin1String("dangling") || kind == QLatin1String("long"))
        after.removeOne(page);
    QCOMPARE(after, before);
    struct stat info;
    if (kind == QLatin1String("fifo")) {
        QCOMPARE(::lstat(name(saved).constData(), &info), 0);
        QVERIFY(S_ISFIFO(info.st_mode));
    } else if (kind == QLatin1String("hard")) {
        QCOMPARE(::stat(name(page).constData(), &info), 0);
        QCOMPARE(int(info.st_nlink), 2);
        QCOMPARE(contents(saved), QByteArray("old"));
    }
}

void tst_Platform::stopEndsOnlyItsWork()
{
    WorkingIndicator working;
    working.begin();
    QVERIFY(working.wait(100));
    QVERIFY(!working.window());
    QVERIFY(working.wait(WorkingIndicator::ShowAfterMs));
    QVERIFY(working.window());
    QTest::mouseClick(working.window()->findChild<QPushButton *>(QStringLiteral("cmdStop")), Qt::LeftButton);
    QVERIFY(!working.wait(WorkingIndicator::ShowAfterMs + 50));
    working.end();
    QVERIFY(!working.window());
    // The next work starts afresh, however long its first wait.
    working.begin();
    QVERIFY(working.wait(WorkingIndicator::ShowAfterMs + 300));
    QVERIFY(working.window());
    working.end();
    QVERIFY(!working.window());
}

QTEST_MAIN(tst_Platform)
#include "tst_platform.moc"
