#pragma once

#include "qtservices.h"

#include <QList>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

// One event pump: when it began and when it returned, in nanoseconds on the steady clock.
struct PumpInterval
{
    qint64 start = 0;
    qint64 end = 0;
};

// The Qt services with every modal box scripted, so that window tests and the benchmark drive
// the real window and never block: dialogs and prompts take their answers from queues, and
// messages and pumps are recorded.
class ScriptedServices final : public QtServices
{
public:
    using QtServices::QtServices;

    /// Answers of the file dialogs in order: a path, or std::nullopt for Cancel.
    std::deque<std::optional<QString>> dialogAnswers;
    /// Answers of the input prompt in order: the typed text, or std::nullopt for Cancel.
    std::deque<std::optional<QString>> promptAnswers;
    /// Every message shown, in order.
    QStringList messages;
    /// Every prompt shown, as "title: prompt".
    QStringList prompts;
    /// Dialogs, prompts or messages that came when no answer was scripted.
    QStringList unexpected;

    /// Runs at each event pump before the pending events are handled.
    std::function<void()> onPump;
    /// Runs when a prompt is shown, before it takes its answer.
    std::function<void()> onPrompt;
    /// Every event pump, in order.
    QList<PumpInterval> pumps;
    /// How the scans pump: by default at every hundredth step, as the literal loops do, so that
    /// tests reach the pumps inside the scan loops with small texts.
    PumpPacing pacing{.stretch = 1, .intervalMs = 0};

    bool showOpenDialog() override;
    bool showSaveDialog() override;
    void showMessage(const QString &message) override;
    std::optional<QString> prompt(const QString &prompt, const QString &title) override;
    bool pumpEvents() override;
    PumpPacing pumpPacing() const override { return pacing; }

private:
    bool answerDialog(const char *kind);
};
