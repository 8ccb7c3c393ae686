#pragma once

#include "text.h"

#include <QMimeData>

// What Korvane puts on the clipboard: a snapshot of the copied bytes, from which each format is
// made only when someone asks for it. Until then a copy costs no memory, and a paste into
// Korvane takes the snapshot itself. The formats are the bytes exactly, under bytesFormat(), and
// text/plain with each byte as its ISO-8859-1 character.
class ClipboardBytes final : public QMimeData
{
    Q_OBJECT

public:
    /// The format that carries the bytes exactly, whatever plain text makes of them.
    static QString bytesFormat() { return QStringLiteral("application/x-korvane-bytes"); }

    explicit ClipboardBytes(Text bytes);

    const Text &bytes() const { return copied; }
    QStringList formats() const override;
    bool hasFormat(const QString &format) const override;

signals:
    /// Making a format for someone who asked began (true) or ended (false).
    void producing(bool busy) const;
    /// A format could not be made, for the reason given.
    void failed(const QString &reason) const;

protected:
    QVariant retrieveData(const QString &format, QMetaType type) const override;

private:
    Text copied;
};
