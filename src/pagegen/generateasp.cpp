#include "generateasp.h"

#include "aspwriter.h"
#include "atomicfile.h"
#include "pointer.h"
#include "texts.h"

#include <QDir>

namespace kolta::pagegen {

namespace {

Result<void> writePage(const Module1 &session, const QString &fileName)
{
    const auto page = composeAspPage(session);
    if (!page.ok())
        return page.error();
    return writeFileAtomically(fileName, page.value());
}

} // namespace

Result<std::optional<QString>> generateAsp(Module1 &session, CommonDialog &cmd, Desktop &desktop,
                                           QWidget *window)
{
    if (session.gSqlQuery.isEmpty()) {
        desktop.messageBox(window, QString(texts::NoSqlStatement));
        return Error{QString(texts::NoSqlStatement)};
    }
    // Stored in the session, so it stays even when the dialog is cancelled.
    if (session.gPageHeader.isEmpty())
        session.gPageHeader = QString(texts::DefaultPageHeader);

    const Hourglass hourglass(window);
    cmd.Filter = QString(texts::AspFilter);
    cmd.FileName = QString();
    if (cmd.ShowSave() != DialogResult::Ok)
        return std::optional<QString>();

    const QString fileName = cmd.FileName;
    const Result<void> written = writePage(session, fileName);
    if (!written.ok()) {
        desktop.messageBox(window,
                           QStringLiteral("The page could not be saved as \"%1\".")
                               .arg(QDir::toNativeSeparators(fileName)),
                           written.error().message);
        return written.error();
    }
    desktop.messageBox(window, QString(texts::Done));
    return std::optional<QString>(fileName);
}

} // namespace kolta::pagegen
