#pragma once

#include "desktop.h"
#include "dialog.h"
#include "module1.h"

#include <QHash>
#include <QPointer>
#include <functional>
#include <memory>

namespace Ui { class frmSQL; }

namespace kolta {

class frmLabels;
class frmParameter;
namespace jet { class DBEngine; class DataControl; }
namespace query { class RecordsetModel; }

// Where the statement is written and tried; a successful try names the
// result's columns for the labels editor and the page.
class frmSQL : public Dialog
{
    Q_OBJECT
public:
    // labels reaches the labels editor, creating it when needed.
    frmSQL(Module1 &session, Desktop &desktop, jet::DBEngine &engine,
           std::function<frmLabels &()> labels, QWidget *parent = nullptr);
    ~frmSQL() override;

    Ui::frmSQL &ui() { return *m_ui; }
    jet::DataControl &Data1() { return *m_data; }
    // The window that asks for a parameter's value, made at its first use.
    frmParameter &parameterWindow();
    query::RecordsetModel &grid() { return *m_model; }

    void Form_Activate();
    // Puts a statement (read back from a page) into the box, ready to Set.
    void setStatement(const QString &statement);
    void cmdSet_Click();
    void cmdCopy_Click();
    void cmdCut_Click();
    void cmdPaste_Click();
    void cmdLabels_Click();
    void cmdClose_Click();

    // The data control's buttons: first, previous, next and last record.
    void moveFirst();
    void movePrevious();
    void moveNext();
    void moveLast();

protected:
    bool event(QEvent *event) override;

private:
    void buildDataBar();
    void moveTo(int row);
    void failed(const QString &reason);
    // A Set that cannot run the statement: the note and the message.
    void refused(const QString &reason);
    // Asks for each parameter's value in turn; false when one is cancelled.
    bool askValues(QList<QueryParameter> &parameters);
    // The note under the grid on where the server will differ; empty removes it.
    void showServerNote(const QStringList &notes);

    std::unique_ptr<Ui::frmSQL> m_ui;
    Module1 &m_session;
    Desktop &m_desktop;
    std::unique_ptr<jet::DataControl> m_data;
    std::function<frmLabels &()> m_labels;
    query::RecordsetModel *m_model;
    int m_gridHeight = 0;   // as designed, without the note
    QPointer<frmParameter> m_parameter;
    QHash<QString, QString> m_typed;   // by lower-case name: the last value typed
};

} // namespace kolta
