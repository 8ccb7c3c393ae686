#pragma once

#include "text.h"

#include <span>

// Builds a text from bytes that arrive in order, as a file's do when it is read: they are read
// straight into the text's buffers, never copied. One buffer holds them when the size given to
// reserve() holds; a text that grows beyond it goes on in further buffers.
class TextBuilder
{
public:
    /// Makes room for `size` bytes in one buffer; false when the memory cannot be had.
    bool reserve(qint64 size);
    /// Where the next bytes go: room for at least one byte, or none when memory ran out.
    std::span<char> space();
    /// Makes the first `count` bytes written into space() part of the text.
    void commit(qint64 count);
    /// The text built so far.
    Text text() const;

private:
    Text full;
    std::shared_ptr<ByteBuffer> buffer;
};
