#include "previewpage.h"

#include "aspwriter.h"
#include "datacontrol.h"
#include "pointer.h"
#include "texts.h"

#include <QDir>
#include <QTemporaryFile>
#include <QUrl>

namespace kolta::pagegen {

namespace {

// The first rows of the page's statement as the provider gives them, and how
// many more there are. Counting the rest runs the whole statement: one
// request, so that "Working..." with Stop stands over it.
Result<PageRows> pageRows(const Module1 &session, jet::DBEngine &engine)
{
    const auto opened = jet::Recordset::open(engine.client(), session.gDataSource.text(), engine.SystemDB,
                                             engine.DefaultUser, engine.DefaultPassword, session.gSqlQuery.text(),
                                             jet::StatementMode::Provider, jet::parameterValues(session.gParameters));
    if (!opened.ok())
        return opened.error();
    jet::Recordset &recordset = *opened.value();
    PageRows result;
    result.columns = recordset.fieldCount();
    const auto first = recordset.fetchMore(PreviewRowLimit);
    if (!first.ok())
        return first.error();
    const auto rows = recordset.rows(0, first.value());
    if (!rows.ok())
        return rows.error();
    result.rows = rows.value();
    while (!recordset.atEnd()) {
        const auto more = recordset.fetchMore(1 << 30);
        if (!more.ok())
            return more.error();
        result.moreRows += more.value();
    }
    return result;
}

// The preview written to a temporary file and opened in the browser; the file's name.
Result<QString> showPreview(const Module1 &session, jet::DBEngine &engine, Desktop &desktop,
                            const QString &imageFolder)
{
    Module1 page;
    page.gPageHeader = session.gPageHeader.isEmpty() ? QString(texts::DefaultPageHeader) : session.gPageHeader;
    page.gFieldCount = session.gFieldCount;
    page.gFieldLabels = session.gFieldLabels;
    page.gParameters = session.gParameters;
    page.gRowsPerPage = session.gRowsPerPage;
    page.gNoRecordsText = session.gNoRecordsText;

    const auto rows = pageRows(session, engine);
    if (!rows.ok())
        return rows.error();
    const auto html = composePagePreview(page, rows.value(), imageFolder);
    if (!html.ok())
        return html.error();

    QTemporaryFile file(QDir::temp().filePath(QStringLiteral("kolta-preview-XXXXXX.html")));
    // The browser reads it after this command has ended.
    file.setAutoRemove(false);
    // A byte-order mark: the browser reads the page's text as it was sent,
    // whatever character set the page's own header names or leaves out.
    const QByteArray bytes = QByteArray("\xEF\xBB\xBF") + html.value().toUtf8();
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush()) {
        const Error failed{file.errorString()};
        file.remove();
        return failed;
    }
    file.close();
    if (!desktop.openInBrowser(QUrl::fromLocalFile(file.fileName())))
        return Error{QStringLiteral("No web browser could be started to show \"%1\".")
                         .arg(QDir::toNativeSeparators(file.fileName()))};
    return file.fileName();
}

} // namespace

Result<QString> previewPage(const Module1 &session, jet::DBEngine &engine, Desktop &desktop, QWidget *window,
                            const QString &imageFolder)
{
    if (session.gSqlQuery.isEmpty()) {
        desktop.messageBox(window, QString(texts::NoSqlStatement));
        return Error{QString(texts::NoSqlStatement)};
    }
    const Hourglass hourglass(window);
    const auto shown = showPreview(session, engine, desktop, imageFolder);
    if (!shown.ok())
        desktop.messageBox(window, QString(texts::PreviewFailed), shown.error().message);
    return shown;
}

} // namespace kolta::pagegen
