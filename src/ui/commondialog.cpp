#include "commondialog.h"

namespace kolta {

DialogResult CommonDialog::ShowOpen()
{
    return showFile(Desktop::FileDialogKind::Open);
}

DialogResult CommonDialog::ShowSave()
{
    return showFile(Desktop::FileDialogKind::Save);
}

DialogResult CommonDialog::ShowColor()
{
    const auto chosen = m_desktop.showColorDialog(m_owner, Color);
    if (!chosen)
        return DialogResult::Cancelled;
    Color = *chosen;
    return DialogResult::Ok;
}

DialogResult CommonDialog::showFile(Desktop::FileDialogKind kind)
{
    const auto chosen = m_desktop.showFileDialog(m_owner, kind, Filter, FileName);
    if (!chosen)
        return DialogResult::Cancelled;
    FileName = *chosen;
    return DialogResult::Ok;
}

} // namespace kolta
