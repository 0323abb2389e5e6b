#pragma once

#include "result.h"

#include <QString>
#include <QStringList>
#include <optional>

class QUrl;
class QWidget;

namespace kolta {

// A finished document for the printer: lines in one font, the printer breaks pages.
struct Printout
{
    QString fontName;
    double pointSize = 12;
    QStringList lines;
};

// What became of a document sent to print when it did not fail.
enum class PrintOutcome { Printed, Declined };

// The desktop services the windows call: dialogs, message box, clipboard,
// printer. QtDesktop is the program's; tests script the dialogs.
class Desktop
{
public:
    enum class FileDialogKind { Open, Save };

    virtual ~Desktop() = default;

    // A modal file dialog; nothing when the user cancels. filter is
    // "description|pattern[|description|pattern...]".
    virtual std::optional<QString> showFileDialog(QWidget *parent, FileDialogKind kind,
                                                  const QString &filter, const QString &fileName) = 0;
    // A modal colour dialog starting at color (0x00BBGGRR); nothing on cancel.
    virtual std::optional<quint32> showColorDialog(QWidget *parent, quint32 color) = 0;
    // Caption "KOLTA", one OK button, no icon; detail (when given) stands under the prompt.
    virtual void messageBox(QWidget *parent, const QString &prompt, const QString &detail = QString()) = 0;
    // Caption "KOLTA", Yes and No; true for Yes.
    virtual bool askYesNo(QWidget *parent, const QString &question) = 0;

    virtual void clearClipboard() = 0;
    virtual void setClipboardText(const QString &text) = 0;
    // The clipboard's plain text, empty when it holds none.
    virtual QString clipboardText() = 0;

    // Sends a document to the printer, or, with none configured, offers a PDF
    // file, which the user may decline.
    virtual Result<PrintOutcome> print(QWidget *parent, const Printout &document) = 0;

    // Opens a document in the user's web browser; false when none could be started.
    virtual bool openInBrowser(const QUrl &url) = 0;
};

} // namespace kolta
