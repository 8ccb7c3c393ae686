#include "textbuilder.h"

namespace {

// The least a buffer is made for bytes beyond those reserved.
constexpr qint64 minimumGrowth = qint64(1) << 20;

} // namespace

bool TextBuilder::reserve(qint64 size)
{
    full = text();
    buffer = ByteBuffer::allocate(size);
    return buffer != nullptr;
}

std::span<char> TextBuilder::space()
{
    if (!buffer || buffer->spaceLeft() == 0) {
        // More bytes than reserved, as files that report no size or grow while read have:
        // a new buffer as large as all so far keeps the number of pieces logarithmic.
        full = text();
        buffer = ByteBuffer::allocate(std::max(minimumGrowth, full.size()));
        if (!buffer)
            return {};
    }
    return {buffer->space(), size_t(buffer->spaceLeft())};
}

void TextBuilder::commit(qint64 count)
{
    buffer->commit(count);
}

Text TextBuilder::text() const
{
    if (!buffer)
        return full;
    return full.appended(Piece::inBuffer(buffer, 0, buffer->size()));
}
