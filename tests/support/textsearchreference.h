#pragma once

#include "textsearch.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

// As a pump position, or as hundreds of positions between pumps: beyond any text.
inline constexpr qint64 noPump = 1'000'000'000'000;

inline bool operator==(const SearchStep &a, const SearchStep &b)
{
    return a.stop == b.stop && a.position == b.position &&
           a.lastProgressPosition == b.lastProgressPosition;
}

// Each character upper-cased on its own, one character for one.
inline QString upperCasedByCharacter(QString text)
{
    for (QChar &character : text)
        character = character.toUpper();
    return text;
}

// The text search done the slow, obvious way on the original bytes: one position at a time, the
// characters there upper-cased and compared with the upper-cased search text.
inline SearchStep referenceSearch(QByteArrayView text, const QString &searchText, qint64 from,
                                  qint64 pumpAt)
{
    const QString characters = QString::fromLatin1(text);
    const QString wanted = upperCasedByCharacter(searchText);
    SearchStep step{SearchStep::Stop::EndOfText, 0, std::nullopt};
    qint64 searchPos = from;
    while (searchPos <= characters.size()) {
        if (upperCasedByCharacter(characters.mid(searchPos - 1, searchText.size())) == wanted) {
            step.stop = SearchStep::Stop::Found;
            step.position = searchPos;
            return step;
        }
        ++searchPos;
        if (searchPos % 100 == 0)
            step.lastProgressPosition = searchPos;
        if (searchPos == pumpAt) {
            step.stop = SearchStep::Stop::PumpPoint;
            step.position = searchPos;
            return step;
        }
    }
    return step;
}

// Every step of successive search runs, as the command makes them, from `from` until a run
// reaches the end of the text: the events are pumped every `hundredsPerPump` hundred positions,
// and each run after a find starts one past it. `search(from, pumpAt)` makes one step.
template <typename Search>
QList<SearchStep> successiveRuns(const Search &search, qint64 from, qint64 hundredsPerPump)
{
    QList<SearchStep> steps;
    for (qint64 cursor = from;;) {
        const SearchStep step = search(cursor, (cursor / 100 + hundredsPerPump) * 100);
        steps.append(step);
        if (step.stop == SearchStep::Stop::EndOfText)
            return steps;
        cursor = step.stop == SearchStep::Stop::Found ? step.position + 1 : step.position;
    }
}
