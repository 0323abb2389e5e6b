#include "scripteddesktop.h"

#include <QWidget>

namespace kolta::test {

namespace {

Qt::CursorShape cursorOf(QWidget *widget)
{
    return widget ? widget->cursor().shape() : Qt::ArrowCursor;
}

template<typename T>
std::optional<T> takeFront(std::deque<std::optional<T>> &queue, int &unexpected)
{
    if (queue.empty()) {
        ++unexpected;
        return std::nullopt;
    }
    // Moved out as value and flag, which keeps GCC's uninitialized-use check quiet.
    const bool given = queue.front().has_value();
    T value = given ? std::move(*queue.front()) : T();
    queue.pop_front();
    return given ? std::optional<T>(std::move(value)) : std::nullopt;
}

} // namespace

QStringList ScriptedDesktop::prompts() const
{
    QStringList result;
    for (const Message &message : messages)
        result << message.prompt;
    return result;
}

std::optional<QString> ScriptedDesktop::showFileDialog(QWidget *parent, FileDialogKind kind,
                                                       const QString &filter, const QString &fileName)
{
    fileDialogs.append({kind, filter, fileName, cursorOf(parent)});
    return takeFront(fileAnswers, unexpectedDialogs);
}

std::optional<quint32> ScriptedDesktop::showColorDialog(QWidget *, quint32 color)
{
    colorDialogStarts.append(color);
    return takeFront(colorAnswers, unexpectedDialogs);
}

void ScriptedDesktop::messageBox(QWidget *parent, const QString &prompt, const QString &detail)
{
    messages.append({prompt, detail, cursorOf(parent)});
    if (onMessage)
        onMessage(messages.constLast());
}

bool ScriptedDesktop::askYesNo(QWidget *, const QString &question)
{
    questions << question;
    if (yesNoAnswers.empty()) {
        ++unexpectedDialogs;
        return false;
    }
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
}

Result<PrintOutcome> ScriptedDesktop::print(QWidget *parent, const Printout &document)
{
    if (!printerName.isEmpty()) {
        printed.append(document);
        return PrintOutcome::Printed;
    }
    return QtDesktop::print(parent, document);
}

bool ScriptedDesktop::openInBrowser(const QUrl &url)
{
    browsed.append(url);
    return browserStarts;
}

} // namespace kolta::test
