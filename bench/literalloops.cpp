#include "literalloops.h"

#include <QCoreApplication>
#include <QLabel>
#include <QWidget>

namespace {

bool isCandidate(QChar x)
{
    return x == u'A' || x == u'C' || x == u'D' || x == u'E' || x == u'F';
}

QString positionCaption(qint64 position, qint64 total)
{
    return QStringLiteral("Position ") + QString::number(position) + QStringLiteral(" of ") +
           QString::number(total);
}

} // namespace

bool literalFindPath(QByteArrayView text, qint64 &pathPos, const LiteralControls &controls)
{
    const qint64 total = text.size();
    const QString snapshot = QString::fromLatin1(text);
    // The upper-cased character at 1-based `p`; a null character, which matches nothing, past
    // the end.
    const auto ch = [&snapshot](qint64 p) {
        return p <= snapshot.size() ? snapshot[p - 1].toUpper() : QChar();
    };
    controls.lblPosition->setText(positionCaption(pathPos, total));
    QCoreApplication::processEvents();
    if (pathPos == 0)
        pathPos = 1;
    qint64 k = 0;
    while (pathPos <= snapshot.size()) {
        QChar x = ch(pathPos);
        if (isCandidate(x)) {
            ++pathPos;
            x = ch(pathPos);
            controls.text1->setFocus();
            if (x != u':') {
                if (isCandidate(x))
                    --pathPos;
            } else {
                ++pathPos;
                x = ch(pathPos);
                if (x == u'\\')
                    return true;
                if (isCandidate(x))
                    --pathPos;
            }
        }
        ++k;
        if (k % 100 == 0) {
            controls.lblPosition->setText(positionCaption(pathPos, total));
            QCoreApplication::processEvents();
        }
        ++pathPos;
    }
    pathPos = 0;
    controls.lblPosition->setText(QString());
    return false;
}

bool literalSearchForText(QByteArrayView text, const QString &searchText, qint64 &searchPos,
                          const LiteralControls &controls)
{
    const QString snapshot = QString::fromLatin1(text);
    if (searchPos == 0)
        searchPos = 1;
    QString wanted = searchText;
    for (QChar &character : wanted)
        character = character.toUpper();
    QString here;
    while (searchPos <= snapshot.size()) {
        here = snapshot.mid(searchPos - 1, searchText.size());
        for (QChar &character : here)
            character = character.toUpper();
        if (here == wanted) {
            controls.text1->setFocus();
            ++searchPos;
            return true;
        }
        ++searchPos;
        if (searchPos % 100 == 0) {
            controls.lblPosition->setText(QString::number(searchPos));
            QCoreApplication::processEvents();
        }
    }
    searchPos = 0;
    return false;
}
