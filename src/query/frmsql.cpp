#include "frmsql.h"
#include "ui_frmsql.h"

#include "frmlabels.h"
#include "frmparameter.h"
#include "datacontrol.h"
#include "pointer.h"
#include "recordsetmodel.h"
#include "servernote.h"
#include "texts.h"
#include "windowstyle.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QToolButton>

namespace kolta {

frmSQL::frmSQL(Module1 &session, Desktop &desktop, jet::DBEngine &engine,
               std::function<frmLabels &()> labels, QWidget *parent)
    : Dialog(parent, Escape::Ignored)
    , m_ui(std::make_unique<Ui::frmSQL>())
    , m_session(session)
    , m_desktop(desktop)
    , m_data(std::make_unique<jet::DataControl>(engine))
    , m_labels(std::move(labels))
    , m_model(new query::RecordsetModel(this))
{
    m_ui->setupUi(this);
    makeFixedDialog(this, 544, 419);
    m_ui->MSFlexGrid1->setModel(m_model);
    // Queued: the grid shows the rows that were read before the reason why no more came.
    connect(m_model, &query::RecordsetModel::readFailed, this, &frmSQL::failed,
            Qt::QueuedConnection);
    m_ui->MSFlexGrid1->verticalHeader()->setDefaultSectionSize(m_ui->MSFlexGrid1->fontMetrics().height() + 4);
    m_ui->MSFlexGrid1->verticalHeader()->setFixedWidth(14);
    buildDataBar();

    connect(m_ui->cmdSet, &QPushButton::clicked, this, &frmSQL::cmdSet_Click);
    connect(m_ui->cmdCopy, &QPushButton::clicked, this, &frmSQL::cmdCopy_Click);
    connect(m_ui->cmdCut, &QPushButton::clicked, this, &frmSQL::cmdCut_Click);
    connect(m_ui->cmdPaste, &QPushButton::clicked, this, &frmSQL::cmdPaste_Click);
    connect(m_ui->cmdLabels, &QPushButton::clicked, this, &frmSQL::cmdLabels_Click);
    connect(m_ui->cmdClose, &QPushButton::clicked, this, &frmSQL::cmdClose_Click);
}

frmSQL::~frmSQL() = default;

void frmSQL::buildDataBar()
{
    auto *bar = new QHBoxLayout(m_ui->Data1);
    bar->setContentsMargins(1, 1, 1, 1);
    bar->setSpacing(0);
    auto button = [this, bar](const char *name, Qt::ArrowType arrow, const QString &tip, void (frmSQL::*move)()) {
        auto *b = new QToolButton(m_ui->Data1);
        b->setObjectName(QLatin1String(name));
        b->setArrowType(arrow);
        b->setToolTip(tip);
        b->setAutoRaise(false);
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedWidth(11);
        connect(b, &QToolButton::clicked, this, move);
        bar->addWidget(b);
        return b;
    };
    button("cmdFirst", Qt::LeftArrow, QStringLiteral("First record"), &frmSQL::moveFirst)->setText(QStringLiteral("|<"));
    button("cmdPrevious", Qt::LeftArrow, QStringLiteral("Previous record"), &frmSQL::movePrevious);
    auto *caption = new QLabel(QStringLiteral("Data1"), m_ui->Data1);
    caption->setAlignment(Qt::AlignCenter);
    bar->addWidget(caption, 1);
    button("cmdNext", Qt::RightArrow, QStringLiteral("Next record"), &frmSQL::moveNext);
    button("cmdLast", Qt::RightArrow, QStringLiteral("Last record"), &frmSQL::moveLast);
}

bool frmSQL::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return Dialog::event(event);
}

void frmSQL::Form_Activate()
{
    m_data->DatabaseName = m_session.gDataSource.text();
    m_ui->Label2->setText(m_session.gDataSource.text());
}

void frmSQL::setStatement(const QString &statement)
{
    m_ui->Text1->setPlainText(statement);
}

void frmSQL::failed(const QString &reason)
{
    m_desktop.messageBox(this, QString(texts::SqlError), reason);
}

void frmSQL::showServerNote(const QStringList &notes)
{
    // The grid gives up the room the note takes while it shows.
    if (m_gridHeight == 0)
        m_gridHeight = m_ui->MSFlexGrid1->height();
    const int noteHeight = m_ui->lblServerNote->height() + 2;
    QRect grid = m_ui->MSFlexGrid1->geometry();
    grid.setHeight(notes.isEmpty() ? m_gridHeight : m_gridHeight - noteHeight);
    m_ui->MSFlexGrid1->setGeometry(grid);
    m_ui->lblServerNote->setText(notes.join(QLatin1Char('\n')));
    m_ui->lblServerNote->setToolTip(notes.join(QLatin1Char('\n')));
    m_ui->lblServerNote->setVisible(!notes.isEmpty());
}

frmParameter &frmSQL::parameterWindow()
{
    if (!m_parameter || m_parameter->discarded())
        m_parameter = new frmParameter(m_desktop, this);
    return *m_parameter;
}

void frmSQL::refused(const QString &reason)
{
    const QString note = query::accessOnlyNote(reason);
    showServerNote(note.isEmpty() ? QStringList() : QStringList{note});
    failed(reason);
}

bool frmSQL::askValues(QList<QueryParameter> &parameters)
{
    for (QueryParameter &p : parameters) {
        const std::optional<QString> value = parameterWindow().ask(p);
        if (!value)
            return false;
        p.value = *value;
        m_typed.insert(p.name.toLower(), p.value);
    }
    return true;
}

void frmSQL::cmdSet_Click()
{
    const VariantText earlierQuery = m_session.gSqlQuery;
    const QString earlierSource = m_data->RecordSource;
    m_session.gSqlQuery = m_ui->Text1->toPlainText();
    m_data->RecordSource = m_session.gSqlQuery.text();
    QList<QueryParameter> parameters;
    {
        const Hourglass hourglass(this);
        const auto asked = m_data->Parameters();
        if (!asked.ok()) {
            refused(asked.error().message);
            return;
        }
        for (const jet::protocol::StatementParameter &p : asked.value()) {
            QString last = m_typed.value(p.name.toLower());
            for (const QueryParameter &earlier : std::as_const(m_session.gParameters))
                if (last.isEmpty() && earlier.name.compare(p.name, Qt::CaseInsensitive) == 0)
                    last = earlier.value;
            parameters.append({p.name, jet::DaoType(p.type), p.size, last});
        }
    }
    if (!askValues(parameters)) {
        // Cancel: as if Set had not been pressed.
        m_session.gSqlQuery = earlierQuery;
        m_data->RecordSource = earlierSource;
        return;
    }
    {
        const Hourglass hourglass(this);
        m_data->ParameterValues = jet::parameterValues(parameters);
        const auto refreshed = m_data->Refresh();
        if (!refreshed.ok()) {
            refused(refreshed.error().message);
            return;
        }
        m_session.gParameters = parameters;
        showServerNote(refreshed.value()->serverNotes());
        m_model->setRecordset(refreshed.value());
        m_model->readMore(query::RecordsetModel::BatchRows);
        m_model->load(0, m_model->rowCount() - 1);
        // Columns as wide as their first rows need, within reason.
        QHeaderView *header = m_ui->MSFlexGrid1->horizontalHeader();
        for (int column = 0; column < m_model->columnCount(); ++column) {
            m_ui->MSFlexGrid1->resizeColumnToContents(column);
            header->resizeSection(column, qMin(header->sectionSize(column), 240));
        }
    }

    const auto recordset = m_data->Recordset();
    if (recordset->fieldCount() > 32767) {
        failed(QStringLiteral("The statement returns more columns than can be counted."));
        return;
    }
    m_session.gFieldCount = qint16(recordset->fieldCount());
    m_session.gFieldLabels.redimPreserve(m_session.gFieldCount);
    frmLabels &labels = m_labels();
    labels.clearFields();
    for (int i = 0; i < recordset->fieldCount(); ++i) {
        const QString &name = recordset->fieldNames().at(i);
        labels.addField(name);
        m_session.gFieldLabels.set(i, name);
    }
    if (!labels.selectField(0)) {
        failed(QStringLiteral("The statement returns no columns."));
        return;
    }
    m_ui->cmdLabels->setEnabled(true);
}

void frmSQL::cmdCopy_Click()
{
    m_desktop.clearClipboard();
    m_desktop.setClipboardText(m_ui->Text1->textCursor().selection().toPlainText());
}

void frmSQL::cmdCut_Click()
{
    cmdCopy_Click();
    m_ui->Text1->textCursor().removeSelectedText();
}

void frmSQL::cmdPaste_Click()
{
    m_ui->Text1->textCursor().insertText(m_desktop.clipboardText());
}

void frmSQL::cmdLabels_Click()
{
    m_labels().showModal();
}

void frmSQL::cmdClose_Click()
{
    hide();
}

void frmSQL::moveTo(int row)
{
    const int rows = m_model->rowCount();
    if (rows == 0)
        return;
    row = qBound(0, row, rows - 1);
    m_model->load(row, row);
    const QModelIndex current = m_ui->MSFlexGrid1->currentIndex();
    const QModelIndex target = m_model->index(row, current.isValid() ? current.column() : 0);
    m_ui->MSFlexGrid1->setCurrentIndex(target);
    m_ui->MSFlexGrid1->scrollTo(target);
}

void frmSQL::moveFirst()
{
    moveTo(0);
}

void frmSQL::movePrevious()
{
    moveTo(m_ui->MSFlexGrid1->currentIndex().row() - 1);
}

void frmSQL::moveNext()
{
    const int next = m_ui->MSFlexGrid1->currentIndex().row() + 1;
    if (next >= m_model->rowCount())
        m_model->readMore(query::RecordsetModel::BatchRows);
    moveTo(next);
}

void frmSQL::moveLast()
{
    {
        const Hourglass hourglass(this);
        m_model->fetchAll();
    }
    moveTo(m_model->rowCount() - 1);
}

} // namespace kolta
