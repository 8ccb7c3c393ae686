#pragma once

#include <QByteArrayView>
#include <QString>

class QLabel;
class QWidget;

// The two scans written literally, one pass at a time over a text snapshot, setting the
// progress caption and letting every pending event run each 100 passes: the baselines the real
// commands are measured against. A run shows no message and leaves the status label alone; it
// moves the cursor, the progress caption and the focus as the commands do.

// The controls a literal run updates as it goes.
struct LiteralControls
{
    QWidget *text1;
    QLabel *lblPosition;
};

/// One run of the drive-path scan over `text` from `pathPos`; true when it found a path, with
/// `pathPos` then on its backslash, false with `pathPos` back at 0 at the end of the text.
bool literalFindPath(QByteArrayView text, qint64 &pathPos, const LiteralControls &controls);

/// One run of the text search for `searchText` over `text` from `searchPos`; true when it found
/// the text, with `searchPos` then one past the match's start, false with `searchPos` back at 0
/// at the end of the text.
bool literalSearchForText(QByteArrayView text, const QString &searchText, qint64 &searchPos,
                          const LiteralControls &controls);
