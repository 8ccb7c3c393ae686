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
    record(std::move(edited), {from, to - from, qint64(bytes.size())}, kind, before, after);
    return true;
}

void Document::replace(qint64 from, qint64 to, const Text &inserted, Selection before,
                       Selection after)
{
    if (from == to && inserted.isEmpty())
        return;
    Text edited = current.removed(from, to);
    record(edited.inserted(std::min(from, edited.size()), inserted),
           {from, to - from, inserted.size()}, Edit::Other, before, after);
}

void Document::record(Text edited, Span span, Edit kind, Selection before, Selection after)
{
    redoSteps.clear();
    const bool merges = stepOpen && kind != Edit::Other && !undoSteps.empty() &&
                        undoSteps.back().kind == kind && undoSteps.back().selectionAfter == before;
    if (merges) {
        // The two spans, in the text between the two steps, cover the merged step's span there;
        // outside it each step shifts the bytes by its own difference in length.
        Step &step = undoSteps.back();
        const Span &first = step.span;
        const qint64 start = std::min(first.position, span.position);
        const qint64 end = std::max(first.position + first.afterLength,
                                    span.position + span.beforeLength);
        step.span = {start, end - start - (first.afterLength - first.beforeLength),
                     end - start + (span.afterLength - span.beforeLength)};
        step.after = edited;
        step.selectionAfter = after;
    } else {
        undoSteps.push_back({current, edited, before, after, kind, span});
    }
    stepOpen = kind != Edit::Other;
    current = std::move(edited);
}

std::optional<StepChange> Document::undo()
{
    return moveStep(undoSteps, redoSteps, true);
}

std::optional<StepChange> Document::redo()
{
    return moveStep(redoSteps, undoSteps, false);
}

std::optional<StepChange> Document::moveStep(std::vector<Step> &from, std::vector<Step> &to,
                                             bool undo)
{
    if (from.empty())
        return std::nullopt;
    Step step = std::move(from.back());
    from.pop_back();
    current = undo ? step.before : step.after;
    const Span &span = step.span;
    const StepChange change{span.position, undo ? span.afterLength : span.beforeLength,
                            undo ? span.beforeLength : span.afterLength,
                            undo ? step.selectionBefore : step.selectionAfter};
    to.push_back(std::move(step));
    stepOpen = false;
    return change;
}
