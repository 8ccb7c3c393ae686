#include "document.h"

namespace {

// Typed bytes go into buffers of this size; a larger paste gets a buffer of its own.
constexpr qint64 addBufferSize = 64 * 1024;

} // namespace

void Document::reset(Text text)
{
    current = std::move(text);
    undoSteps.clear();
    redoSteps.clear();
    stepOpen = false;
}

std::optional<Piece> Document::store(QByteArrayView bytes)
{
    std::shared_ptr<ByteBuffer> buffer = addBuffer;
    if (!buffer || buffer->spaceLeft() < bytes.size()) {
        buffer = ByteBuffer::allocate(std::max(addBufferSize, qint64(bytes.size())));
        if (!buffer)
            return std::nullopt;
        if (bytes.size() <= addBufferSize)
            addBuffer = buffer;
    }
    const Piece piece = Piece::inBuffer(buffer, buffer->size(), bytes.size());
    buffer->append(bytes);
    return piece;
}

bool Document::replace(qint64 from, qint64 to, QByteArrayView bytes, Edit kind, Selection before,
                       Selection after)
{
    if (from == to && bytes.isEmpty())
        return true;
    Text edited = current.removed(from, to);
    if (!bytes.isEmpty()) {
        const std::optional<Piece> piece = store(bytes);
        if (!piece)
            return false;
        edited = edited.inserted(std::min(from, edited.size()), *piece);
    }
    record(std::move(edited), kind, before, after);
    return true;
}

void Document::replace(qint64 from, qint64 to, const Text &inserted, Selection before,
                       Selection after)
{
    if (from == to && inserted.isEmpty())
        return;
    Text edited = current.removed(from, to);
    record(edited.inserted(std::min(from, edited.size()), inserted), Edit::Other, before, after);
}

void Document::record(Text edited, Edit kind, Selection before, Selection after)
{
    redoSteps.clear();
    const bool merges = stepOpen && kind != Edit::Other && !undoSteps.empty() &&
                        undoSteps.back().kind == kind && undoSteps.back().selectionAfter == before;
    if (merges) {
        undoSteps.back().after = edited;
        undoSteps.back().selectionAfter = after;
    } else {
        undoSteps.push_back({current, edited, before, after, kind});
    }
    stepOpen = kind != Edit::Other;
    current = std::move(edited);
}

std::optional<Selection> Document::undo()
{
    return moveStep(undoSteps, redoSteps, &Step::before, &Step::selectionBefore);
}

std::optional<Selection> Document::redo()
{
    return moveStep(redoSteps, undoSteps, &Step::after, &Step::selectionAfter);
}

std::optional<Selection> Document::moveStep(std::vector<Step> &from, std::vector<Step> &to,
                                            Text Step::*text, Selection Step::*selection)
{
    if (from.empty())
        return std::nullopt;
    Step step = std::move(from.back());
    from.pop_back();
    current = step.*text;
    const Selection restored = step.*selection;
    to.push_back(std::move(step));
    stepOpen = false;
    return restored;
}
