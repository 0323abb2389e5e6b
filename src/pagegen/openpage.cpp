#include "openpage.h"

#include "aspreader.h"
#include "texts.h"

#include <QDir>
#include <QFile>

namespace kolta::pagegen {

namespace {

Result<Module1> readPage(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return Error{file.errorString()};
    return readAspPage(file.readAll());
}

} // namespace

Result<std::optional<QString>> openPage(Module1 &session, CommonDialog &cmd, Desktop &desktop, QWidget *window)
{
    cmd.Filter = QString(texts::AspFilter);
    cmd.FileName = QString();
    if (cmd.ShowOpen() != DialogResult::Ok)
        return std::optional<QString>();
    const QString fileName = cmd.FileName;
    const auto read = readPage(fileName);
    if (!read.ok()) {
        desktop.messageBox(window,
                           QStringLiteral("The page \"%1\" could not be opened.").arg(QDir::toNativeSeparators(fileName)),
                           read.error().message);
        return read.error();
    }
    const Module1 &page = read.value();
    session.gDataSource = page.gDataSource;
    session.gSystemDatabase = page.gSystemDatabase;
    session.gUserId = page.gUserId;
    session.gPassword = page.gPassword;
    session.gSqlQuery = page.gSqlQuery;
    session.gFieldCount = page.gFieldCount;
    session.gFieldLabels = page.gFieldLabels;
    session.gPageHeader = page.gPageHeader;
    session.gParameters = page.gParameters;
    session.gRowsPerPage = page.gRowsPerPage;
    session.gNoRecordsText = page.gNoRecordsText;
    return std::optional<QString>(fileName);
}

} // namespace kolta::pagegen
