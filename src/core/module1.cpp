#include "module1.h"

namespace kolta {

void FieldLabels::redimPreserve(int upper)
{
    m_sized = true;
    m_items.resize(qMax(upper + 1, 0));
}

std::optional<QString> FieldLabels::at(int index) const
{
    if (!contains(index))
        return std::nullopt;
    return m_items.at(index);
}

bool FieldLabels::set(int index, const QString &text)
{
    if (!contains(index))
        return false;
    m_items[index] = text;
    return true;
}

} // namespace kolta
