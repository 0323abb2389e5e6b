#include "qtdesktop.h"

#include "printout.h"
#include "texts.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QTreeView>

#include <cmath>

namespace kolta {

QStringList qtNameFilters(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i);
        QString patterns = parts.at(i + 1);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the last parentheses of the text.
        const QString wanted = QLatin1Char('(') + patterns + QLatin1Char(')');
        result << (description.endsWith(wanted) ? description : description + QLatin1Char(' ') + wanted);
    }
    return result;
}

std::optional<QString> QtDesktop::showFileDialog(QWidget *parent, FileDialogKind kind,
                                                 const QString &filter, const QString &fileName)
{
    QFileDialog dialog(parent);
    // Qt's own dialog matches the name filters in any letter case, so files
    // from Windows named ".MDB" are offered too.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(kind == FileDialogKind::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(kind == FileDialogKind::Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    const QStringList filters = qtNameFilters(filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    // The detail view starts with Size, Type and Date Modified too narrow for
    // "40.5 KiB" or a type's name; widen them to their texts whenever a folder
    // has been read.
    auto *view = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    auto *model = dialog.findChild<QFileSystemModel *>();
    if (view && model) {
        QObject::connect(model, &QFileSystemModel::directoryLoaded, view, [view] {
            for (const int column : {1, 2, 3})
                view->resizeColumnToContents(column);
        });
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<quint32> QtDesktop::showColorDialog(QWidget *parent, quint32 color)
{
    const QColor initial(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
    const QColor chosen = QColorDialog::getColor(initial, parent, QString(), QColorDialog::DontUseNativeDialog);
    if (!chosen.isValid())
        return std::nullopt;
    return quint32(chosen.red()) | (quint32(chosen.green()) << 8) | (quint32(chosen.blue()) << 16);
}

namespace {

// QMessageBox sizes itself by its first line, so a short prompt such as
// "SQL Error!" would wrap the reason under it into a narrow column. A strut
// as wide as the longest line (up to a share of the screen) keeps each line whole.
void widenToLongestLine(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
    if (!grid || !label)
        return;
    qreal longest = 0;
    const QFontMetricsF metrics(label->font());
    for (const QString &text : {box.text(), box.informativeText()}) {
        for (const QString &line : text.split(QLatin1Char('\n')))
            longest = qMax(longest, metrics.horizontalAdvance(line));
    }
    const QScreen *screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
    // QMessageBox breaks words apart beyond about 1000 pixels; stay below that.
    const int most = screen ? qMin(screen->availableGeometry().width() * 3 / 5, 900) : 600;
    // A little slack: the labels lay out rich text, which rounds differently.
    const int width = qMin(int(std::ceil(longest + 2 * metrics.averageCharWidth())), most);
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(grid->indexOf(label), &row, &column, &rowSpan, &columnSpan);
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Minimum), grid->rowCount(), column);
}

} // namespace

void QtDesktop::messageBox(QWidget *parent, const QString &prompt, const QString &detail)
{
    QMessageBox box(QMessageBox::NoIcon, QString(texts::AppTitle), prompt, QMessageBox::Ok, parent);
    if (!detail.isEmpty())
        box.setInformativeText(detail);
    widenToLongestLine(box);
    box.exec();
}

bool QtDesktop::askYesNo(QWidget *parent, const QString &question)
{
    QMessageBox box(QMessageBox::NoIcon, QString(texts::AppTitle), question,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    widenToLongestLine(box);
    return box.exec() == QMessageBox::Yes;
}

void QtDesktop::clearClipboard()
{
    QGuiApplication::clipboard()->clear();
}

void QtDesktop::setClipboardText(const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
}

QString QtDesktop::clipboardText()
{
    return QGuiApplication::clipboard()->text();
}

bool QtDesktop::openInBrowser(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

QString QtDesktop::defaultPrinterName()
{
    return QPrinterInfo::defaultPrinterName();
}

namespace {

Result<PrintOutcome> printOn(QPrinter &printer, const Printout &document)
{
    const Result<void> rendered = renderPrintout(printer, document);
    if (!rendered.ok())
        return rendered.error();
    return PrintOutcome::Printed;
}

} // namespace

Result<PrintOutcome> QtDesktop::print(QWidget *parent, const Printout &document)
{
    const QString printerName = defaultPrinterName();
    if (!printerName.isEmpty()) {
        QPrinter printer(QPrinterInfo::printerInfo(printerName));
        return printOn(printer, document);
    }

    if (!askYesNo(parent, QStringLiteral("No printer is set up. Save the printout as a PDF file instead?")))
        return PrintOutcome::Declined;
    const auto path = showFileDialog(parent, FileDialogKind::Save, QString(texts::PdfFilter), QString());
    if (!path)
        return PrintOutcome::Declined;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(*path);
    return printOn(printer, document);
}

} // namespace kolta
