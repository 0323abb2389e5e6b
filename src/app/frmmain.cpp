#include "frmmain.h"
#include "ui_frmmain.h"

#include "frmabout.h"
#include "browser.h"
#include "fieldline.h"
#include "frmlayout.h"
#include "frmpageoptions.h"
#include "generateasp.h"
#include "openpage.h"
#include "previewpage.h"
#include "dao.h"
#include "frmlabels.h"
#include "frmsql.h"

#include "windowstyle.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QMenuBar>
#include <QStyle>

#include <cmath>

namespace kolta {

frmmain::frmmain(Module1 &session, Desktop &desktop, QWidget *parent)
    : frmmain(session, desktop, jet::dbEngine(), parent)
{
}

frmmain::frmmain(Module1 &session, Desktop &desktop, jet::DBEngine &engine, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                              | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_ui(std::make_unique<Ui::frmmain>())
    , m_session(session)
    , m_desktop(desktop)
    , m_cmd(desktop, this)
    , m_engine(engine)
{
    m_ui->setupUi(this);
    // A fixed client area of 7005 x 4980 twips below the menu bar.
    m_ui->centralwidget->setFixedSize(467, 332);
    setFixedSize(467, 332 + menuBar()->sizeHint().height());

    placeColumnHeadings();
    m_ui->List1->installEventFilter(this);

    m_browser = std::make_unique<browse::DatabaseBrowser>(
        session, desktop, engine, m_cmd,
        browse::BrowserControls{this, m_ui->Label6, m_ui->Combo1, m_ui->List1, m_ui->Label1,
                                m_ui->mnPrintTableFields, m_ui->mnGenerateASP, m_ui->mnEdit});

    // Picking a table, also the one already shown, lists its fields again.
    connect(m_ui->Combo1, &QComboBox::activated, this, &frmmain::Combo1_Click);
    connect(m_ui->mnSetDatabase, &QAction::triggered, this, &frmmain::mnSetDatabase_Click);
    connect(m_ui->mnPrintTableFields, &QAction::triggered, this, &frmmain::mnPrintTableFields_Click);
    connect(m_ui->mnGenerateASP, &QAction::triggered, this, &frmmain::mnGenerateASP_Click);
    // The preview is there whenever a page can be generated.
    connect(m_ui->mnGenerateASP, &QAction::enabledChanged, m_ui->mnPreviewPage, &QAction::setEnabled);
    connect(m_ui->mnPreviewPage, &QAction::triggered, this, &frmmain::mnPreviewPage_Click);
    connect(m_ui->mnOpenPage, &QAction::triggered, this, &frmmain::mnOpenPage_Click);
    connect(m_ui->mbAbout, &QAction::triggered, this, &frmmain::mbAbout_Click);
    connect(m_ui->mnExit, &QAction::triggered, this, &frmmain::mnExit_Click);
    connect(m_ui->mnSQLStatement, &QAction::triggered, this, &frmmain::mnSQLStatement_Click);
    connect(m_ui->mnLayout, &QAction::triggered, this, &frmmain::mnLayout_Click);
    connect(m_ui->mnPageOptions, &QAction::triggered, this, &frmmain::mnPageOptions_Click);
}

frmmain::~frmmain() = default;

void frmmain::Form_Load()
{
    // Creates the about window hidden; its text is loaded this once. Without
    // its text the about box stays empty; the program starts all the same.
    static_cast<void>(
        aboutWindow().LoadFile(QCoreApplication::applicationDirPath() + QLatin1StringView("/kolta.rtf")));
}

void frmmain::Combo1_Click()
{
    m_browser->tableChosen();
}

void frmmain::mnSetDatabase_Click()
{
    m_browser->setDatabase();
}

void frmmain::openDatabase(const QString &file)
{
    m_browser->setDatabase(file);
}

void frmmain::openSample(const QString &file)
{
    if (!QFileInfo::exists(file)) {
        m_desktop.messageBox(this, QStringLiteral("The sample database is missing: %1").arg(file));
        return;
    }
    m_browser->openWithEmptyLogin(file);
}

void frmmain::mnPrintTableFields_Click()
{
    m_browser->printTableFields();
}

void frmmain::mnGenerateASP_Click()
{
    const auto saved = pagegen::generateAsp(m_session, m_cmd, m_desktop, this);
    if (saved.ok() && saved.value())
        m_lastPageFolder = QFileInfo(*saved.value()).absolutePath();
}

void frmmain::mnPreviewPage_Click()
{
    // Images named relative to the page are found where the page will stand.
    const QString imageFolder = !m_lastPageFolder.isEmpty() ? m_lastPageFolder
        : m_session.gDataSource.isEmpty()                   ? QString()
                                                            : QFileInfo(m_session.gDataSource.text()).absolutePath();
    // A failure has been shown to the user; nothing else follows from it.
    static_cast<void>(pagegen::previewPage(m_session, m_engine, m_desktop, this, imageFolder));
}

void frmmain::mnOpenPage_Click()
{
    const auto opened = pagegen::openPage(m_session, m_cmd, m_desktop, this);
    if (!opened.ok() || !opened.value())
        return;
    m_lastPageFolder = QFileInfo(*opened.value()).absolutePath();
    sqlWindow().setStatement(m_session.gSqlQuery.text());
    m_browser->openSessionDatabase();
    if (m_session.gDatabase)
        mnSQLStatement_Click();
}

void frmmain::mbAbout_Click()
{
    aboutWindow().exec();
}

frmAbout &frmmain::aboutWindow()
{
    if (!m_about)
        m_about = new frmAbout(m_session, m_desktop, this);
    return *m_about;
}

void frmmain::mnExit_Click()
{
    QCoreApplication::exit(0);
}

bool frmmain::hasSqlWindow() const
{
    return !m_sql.isNull();
}

bool frmmain::hasLabelsWindow() const
{
    return !m_labels.isNull();
}

frmLabels &frmmain::labelsWindow()
{
    if (!m_labels)
        m_labels = new frmLabels(m_session, this);
    return *m_labels;
}

frmSQL &frmmain::sqlWindow()
{
    if (!m_sql)
        m_sql = new frmSQL(m_session, m_desktop, m_engine, [this]() -> frmLabels & { return labelsWindow(); }, this);
    return *m_sql;
}

void frmmain::mnSQLStatement_Click()
{
    frmSQL &window = sqlWindow();
    if (!window.isVisible())
        centerOnScreen(&window);
    window.show();
    window.raise();
    window.activateWindow();
}

void frmmain::mnLayout_Click()
{
    if (!m_layout)
        m_layout = new frmLayout(m_session, m_desktop, this);
    m_layout->exec();
}

void frmmain::mnPageOptions_Click()
{
    if (!m_pageOptions)
        m_pageOptions = new frmPageOptions(m_session, m_desktop, this);
    m_pageOptions->exec();
}

bool frmmain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->List1 && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
        placeColumnHeadings();
    return QMainWindow::eventFilter(watched, event);
}

void frmmain::placeColumnHeadings()
{
    // The field lines keep to character columns, so the headings follow the
    // list font's real advance rather than a fixed place in the form.
    QListWidget *list = m_ui->List1;
    QLabel *heading = m_ui->Label5;
    const QFontMetricsF lines(list->font());
    const qreal space = lines.horizontalAdvance(QLatin1Char(' '));
    // Where an item's text starts: frame, item spacing, then the margin the
    // style keeps inside each item.
    const int textMargin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    const qreal textLeft = list->x() + list->frameWidth() + list->spacing() + textMargin;
    const qreal typeLeft = textLeft + space * browse::NameColumns;
    const qreal sizeRight = typeLeft + space * browse::TypeSizeColumns;

    // The caption keeps its blanks; the gap they make is narrowed or widened
    // so that "Size" ends where the sizes end. Qt adds word spacing once per
    // run of blanks, so its effect is measured rather than counted.
    QFont font = heading->font();
    const QString caption = heading->text();
    font.setWordSpacing(0);
    const qreal natural = QFontMetricsF(font).horizontalAdvance(caption);
    font.setWordSpacing(1);
    const qreal perUnit = QFontMetricsF(font).horizontalAdvance(caption) - natural;
    font.setWordSpacing(perUnit > 0 ? (sizeRight - typeLeft - natural) / perUnit : 0);
    heading->setFont(font);
    const int left = qRound(typeLeft) - heading->contentsRect().left();
    const int width = int(std::ceil(QFontMetricsF(font).horizontalAdvance(caption))) + 2;
    heading->setGeometry(left, heading->y(), width + heading->contentsRect().left(), heading->height());
}

void frmmain::closeEvent(QCloseEvent *event)
{
    // Hidden windows stay loaded, so closing the main window ends the program itself.
    event->accept();
    QCoreApplication::exit(0);
}

} // namespace kolta
