#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <memory>

// A block of memory of fixed capacity that is filled from its start and never changes a byte
// once written, so that pieces of text and snapshots may point into it while it goes on filling.
class ByteBuffer
{
public:
    /// A buffer that can hold `capacity` bytes; nullptr when the memory cannot be had.
    static std::shared_ptr<ByteBuffer> allocate(qint64 capacity);
    ~ByteBuffer();
    ByteBuffer(const ByteBuffer &) = delete;
    ByteBuffer &operator=(const ByteBuffer &) = delete;

    const char *data() const { return bytes; }
    qint64 size() const { return filled; }
    qint64 spaceLeft() const { return room - filled; }

    /// Where the next bytes go; spaceLeft() of them may be written there, then committed.
    char *space() { return bytes + filled; }
    /// Makes the next `count` bytes written into space() part of the buffer.
    void commit(qint64 count);
    /// Copies `more` (at most spaceLeft() bytes) to the end of the buffer.
    void append(QByteArrayView more);

private:
    ByteBuffer(char *bytes, qint64 capacity, qint64 mappedSize);

    char *bytes;
    qint64 room;
    qint64 filled = 0;
    qint64 mappedSize;
};
