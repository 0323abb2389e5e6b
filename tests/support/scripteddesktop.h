#pragma once

#include "qtdesktop.h"

#include <QList>
#include <QUrl>
#include <QString>
#include <deque>
#include <functional>
#include <optional>

namespace kolta::test {

// The desktop with its modal dialogs scripted: answers are queued by the test
// and every dialog and message shown is recorded. Clipboard and PDF output
// are the real ones. A dialog with no queued answer is cancelled and counted.
class ScriptedDesktop : public QtDesktop
{
public:
    struct FileDialogCall
    {
        FileDialogKind kind;
        QString filter;
        QString fileName;
        Qt::CursorShape ownerCursor;
    };
    struct Message
    {
        QString prompt;
        QString detail;
        Qt::CursorShape ownerCursor;
    };

    std::deque<std::optional<QString>> fileAnswers;   // nullopt: the user cancels
    std::deque<std::optional<quint32>> colorAnswers;
    std::deque<bool> yesNoAnswers;
    QString printerName;                               // empty: no printer configured

    QList<FileDialogCall> fileDialogs;
    QList<quint32> colorDialogStarts;
    QList<Message> messages;
    QStringList questions;
    QList<Printout> printed;                           // documents sent to a printer
    QList<QUrl> browsed;                               // documents opened in the browser
    bool browserStarts = true;
    int unexpectedDialogs = 0;

    // Runs while a message box would be on screen (to look at the windows then).
    std::function<void(const Message &)> onMessage;

    QStringList prompts() const;

    std::optional<QString> showFileDialog(QWidget *parent, FileDialogKind kind,
                                          const QString &filter, const QString &fileName) override;
    std::optional<quint32> showColorDialog(QWidget *parent, quint32 color) override;
    void messageBox(QWidget *parent, const QString &prompt, const QString &detail = QString()) override;
    bool askYesNo(QWidget *parent, const QString &question) override;
    Result<PrintOutcome> print(QWidget *parent, const Printout &document) override;
    bool openInBrowser(const QUrl &url) override;

protected:
    QString defaultPrinterName() override { return printerName; }
};

} // namespace kolta::test
