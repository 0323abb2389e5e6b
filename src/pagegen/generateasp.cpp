#include "generateasp.h"

#include "aspwriter.h"
#include "atomicfile.h"
#include "pointer.h"
#include "texts.h"

#include <QDir>

namespace kolta::pagegen {

std::optional<QString> generateAsp(Module1 &session, CommonDialog &cmd, Desktop &desktop, QWidget *window)
{
    if (session.gSqlQuery.isEmpty()) {
        desktop.messageBox(window, QString(texts::NoSqlStatement));
        return std::nullopt;
    }
    // Stored in the session, so it stays even when the dialog is cancelled.
    if (session.gPageHeader.isEmpty())
        session.gPageHeader = QString(texts::DefaultPageHeader);

    const Hourglass hourglass(window);
    cmd.Filter = QString(texts::AspFilter);
    cmd.FileName = QString();
    if (cmd.ShowSave() != DialogResult::Ok)
        return std::nullopt;

    const QString fileName = cmd.FileName;
    const auto page = composeAspPage(session);
    QString reason;
    if (const auto *error = std::get_if<QString>(&page))
        reason = *error;
    else
        reason = writeFileAtomically(fileName, std::get<QByteArray>(page));
    if (!reason.isEmpty()) {
        desktop.messageBox(window,
                           QStringLiteral("The page could not be saved as \"%1\".")
                               .arg(QDir::toNativeSeparators(fileName)),
                           reason);
        return std::nullopt;
    }
    desktop.messageBox(window, QString(texts::Done));
    return fileName;
}

} // namespace kolta::pagegen
