#pragma once

#include <QString>
#include <optional>

namespace kolta {

// A session value that is either unset or holds a text. Unset reads as the
// empty text and compares equal to it.
class VariantText
{
public:
    VariantText() = default;
    VariantText(const QString &text) : m_text(text) {}
    VariantText(const char *text) : m_text(QString::fromUtf8(text)) {}

    bool isUnset() const { return !m_text.has_value(); }
    QString text() const { return m_text.value_or(QString()); }
    // True for unset and for the empty text alike.
    bool isEmpty() const { return !m_text || m_text->isEmpty(); }

    friend bool operator==(const VariantText &a, const VariantText &b) { return a.text() == b.text(); }
    friend bool operator==(const VariantText &a, const QString &b) { return a.text() == b; }

private:
    std::optional<QString> m_text;
};

} // namespace kolta
