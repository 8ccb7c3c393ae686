#include "scriptedservices.h"

#include <chrono>

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
    if (onPrompt)
        onPrompt();
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
    const auto now = [] {
        return qint64(std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count());
    };
    const qint64 start = now();
    if (onPump)
        onPump();
    const bool windowOpen = QtServices::pumpEvents();
    pumps.append({start, now()});
    return windowOpen;
}
