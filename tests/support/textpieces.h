#pragma once

#include "text.h"

#include <QByteArrayView>
#include <QRandomGenerator>

#include <algorithm>

/// `bytes` as a text of pieces of random lengths from 1 to `longest` (one piece when 0), so that
/// its spans begin and end at many offsets. In its buffer each piece is followed by a byte of no
/// piece, so that no two pieces join up and a read past the end of a span sees a wrong byte.
inline Text textInPieces(QByteArrayView bytes, qsizetype longest, quint32 seed)
{
    QRandomGenerator random(seed);
    const std::shared_ptr<ByteBuffer> buffer = ByteBuffer::allocate(2 * bytes.size());
    Text text;
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype left = bytes.size() - at;
        const qsizetype length = longest > 0 ? std::min(left, 1 + random.bounded(longest)) : left;
        const qint64 start = buffer->size();
        buffer->append(bytes.sliced(at, length));
        buffer->append(bytes.sliced(random.bounded(bytes.size()), 1));
        text = text.appended(Piece::inBuffer(buffer, start, length));
        at += length;
    }
    return text;
}

/// `copies` copies of `unit` one after another, all pieces of one buffer, so that a text of
/// gigabytes costs next to no memory.
inline Text repeatedText(QByteArrayView unit, qint64 copies)
{
    Text all;
    for (Text doubled = Text::copyOf(unit); copies > 0;
         copies >>= 1, doubled = doubled.inserted(doubled.size(), doubled)) {
        if (copies & 1)
            all = all.inserted(all.size(), doubled);
    }
    return all;
}
