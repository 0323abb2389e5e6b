#pragma once

#include "desktop.h"

namespace kolta {

enum class DialogResult { Ok, Cancelled };

// The per-window common dialog object `cmd`. It keeps Filter, FileName and
// Color between uses; a cancel leaves them unchanged and is reported as
// Cancelled, which the caller treats like its error trap.
class CommonDialog
{
public:
    CommonDialog(Desktop &desktop, QWidget *owner) : m_desktop(desktop), m_owner(owner) {}

    QString Filter;
    QString FileName;
    quint32 Color = 0;

    [[nodiscard]] DialogResult ShowOpen();
    [[nodiscard]] DialogResult ShowSave();
    [[nodiscard]] DialogResult ShowColor();

private:
    DialogResult showFile(Desktop::FileDialogKind kind);

    Desktop &m_desktop;
    QWidget *m_owner;
};

} // namespace kolta
