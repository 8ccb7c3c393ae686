#include "scriptedservices.h"

bool ScriptedServices::setViewText(QByteArray text)
{
    if (viewOutOfMemory)
        return false;
    return QtServices::setViewText(std::move(text));
}

bool ScriptedServices::answerDialog(const char *kind)
{
    if (dialogAnswers.empty()) {
        unexpected << QLatin1String(kind);
        return false;
    }
    const std::optional<QString> answer = dialogAnswers.front();
    dialogAnswers.pop_front();
    if (!answer)
        return false;
    setDialogFileName(*answer);
    return true;
}

bool ScriptedServices::showOpenDialog()
{
    return answerDialog("open dialog");
}

bool ScriptedServices::showSaveDialog()
{
    return answerDialog("save dialog");
}

void ScriptedServices::showMessage(const QString &message)
{
    messages << message;
}

std::optional<QString> ScriptedServices::prompt(const QString &prompt, const QString &title)
{
    prompts << title + QStringLiteral(": ") + prompt;
    if (promptAnswers.empty()) {
        unexpected << QStringLiteral("prompt");
        return std::nullopt;
    }
    const std::optional<QString> answer = promptAnswers.front();
    promptAnswers.pop_front();
    return answer;
}

bool ScriptedServices::pumpEvents()
{
    ++pumps;
    if (onPump)
        onPump();
    return QtServices::pumpEvents();
}

ReadResult ScriptedServices::readFile(const QString &path)
{
    if (readFailure)
        return {{}, *readFailure};
    return QtServices::readFile(path);
}

QString ScriptedServices::writeFile(const QString &path, QByteArrayView bytes)
{
    if (writeFailure)
        return *writeFailure;
    return QtServices::writeFile(path, bytes);
}
