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

} // namespace

std::optional<QString> previewPage(const Module1 &session, jet::DBEngine &engine, Desktop &desktop,
                                   QWidget *window, const QString &imageFolder)
{
    if (session.gSqlQuery.isEmpty()) {
        desktop.messageBox(window, QString(texts::NoSqlStatement));
        return std::nullopt;
    }
    Module1 page;
    page.gPageHeader = session.gPageHeader.isEmpty() ? QString(texts::DefaultPageHeader) : session.gPageHeader;
    page.gFieldCount = session.gFieldCount;
    page.gFieldLabels = session.gFieldLabels;

    const Hourglass hourglass(window);
    const auto rows = pageRows(session, engine);
    const auto html = rows.ok() ? composePagePreview(page, rows.value(), imageFolder)
                                : Result<QString>(rows.error());
    if (!html.ok()) {
        desktop.messageBox(window, QString(texts::PreviewFailed), html.error().message);
        return std::nullopt;
    }

    QTemporaryFile file(QDir::temp().filePath(QStringLiteral("kolta-preview-XXXXXX.html")));
    // The browser reads it after this command has ended.
    file.setAutoRemove(false);
    // A byte-order mark: the browser reads the page's text as it was sent,
    // whatever character set the page's own header names or leaves out.
    const QByteArray bytes = QByteArray("\xEF\xBB\xBF") + html.value().toUtf8();
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush()) {
        desktop.messageBox(window, QString(texts::PreviewFailed), file.errorString());
        file.remove();
        return std::nullopt;
    }
    file.close();
    if (!desktop.openInBrowser(QUrl::fromLocalFile(file.fileName()))) {
        desktop.messageBox(window, QString(texts::PreviewFailed),
                           QStringLiteral("No web browser could be started to show \"%1\".")
                               .arg(QDir::toNativeSeparators(file.fileName())));
        return std::nullopt;
    }
    return file.fileName();
}

} // namespace kolta::pagegen
