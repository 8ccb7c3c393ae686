#pragma once

#include "pumpgaps.h"
#include "qtservices.h"

#include <QStringList>

#include <optional>

// Qt's services with every modal box answered at once, so that a click runs its command to the
// end without waiting for anyone, and every real event pump timed.
class BenchServices final : public QtServices
{
public:
    using QtServices::QtServices;

    /// The file every open or save dialog chooses.
    QString fileToChoose;
    /// The text typed into every search prompt.
    QString textToType;
    /// Every message shown, in order.
    QStringList messages;
    /// Every real event pump, in order.
    QList<PumpInterval> pumps;
    /// When the last prompt was shown, in nanoseconds on the steady clock.
    std::optional<qint64> promptedAt;

    bool showOpenDialog() override;
    bool showSaveDialog() override;
    void showMessage(const QString &message) override;
    std::optional<QString> prompt(const QString &prompt, const QString &title) override;
    bool pumpEvents() override;
};
