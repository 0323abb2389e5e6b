#pragma once

#include "desktop.h"

#include <QStringList>

namespace kolta {

// Turns "description|pattern|..." into Qt's name filters ("description (pattern)").
QStringList qtNameFilters(const QString &filter);

// The desktop services of the program, on Qt's own dialogs.
class QtDesktop : public Desktop
{
public:
    std::optional<QString> showFileDialog(QWidget *parent, FileDialogKind kind,
                                          const QString &filter, const QString &fileName) override;
    std::optional<quint32> showColorDialog(QWidget *parent, quint32 color) override;
    void messageBox(QWidget *parent, const QString &prompt, const QString &detail = QString()) override;
    bool askYesNo(QWidget *parent, const QString &question) override;

    void clearClipboard() override;
    void setClipboardText(const QString &text) override;
    QString clipboardText() override;

    Result<PrintOutcome> print(QWidget *parent, const Printout &document) override;
    bool openInBrowser(const QUrl &url) override;

protected:
    // The system's default printer, empty when none is configured.
    virtual QString defaultPrinterName();
};

} // namespace kolta
