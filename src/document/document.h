#pragma once

#include "text.h"

#include <algorithm>
#include <optional>
#include <vector>

// Where the caret is and where the selection it ends began; the selection is empty when they
// are equal.
struct Selection
{
    qint64 anchor = 0;
    qint64 caret = 0;

    qint64 start() const { return std::min(anchor, caret); }
    qint64 end() const { return std::max(anchor, caret); }
    bool isEmpty() const { return anchor == caret; }
    friend bool operator==(const Selection &, const Selection &) = default;
};

// What an undo or a redo changed: the `removed` bytes from `position` on gave way to `added`
// others, and the selection to restore.
struct StepChange
{
    qint64 position = 0;
    qint64 removed = 0;
    qint64 added = 0;
    Selection selection;

    friend bool operator==(const StepChange &, const StepChange &) = default;
};

// The text being edited, with its undo history. Typed and pasted bytes go into buffers of
// their own; the text is only ever replaced by a new Text, so a snapshot taken with text()
// keeps its bytes whatever happens to the document later.
class Document
{
public:
    /// What an edit was, for merging the undo steps of a run of typing or deleting.
    enum class Edit { Typing, Deleting, Other };

    const Text &text() const { return current; }
    qint64 size() const { return current.size(); }

    /// Makes `text` the document's text; nothing before it can be undone.
    void reset(Text text);
    /// Replaces the bytes from `from` to `to` with `bytes`. Undo brings back the text and the
    /// selection `before`, redo the new text and the selection `after`. Typing or deleting that
    /// goes on from the selection the previous step of the same kind left merges into it.
    /// False, with nothing changed, when memory runs out.
    bool replace(qint64 from, qint64 to, QByteArrayView bytes, Edit kind, Selection before,
                 Selection after);
    /// Replaces the bytes from `from` to `to` with the text `inserted`, whose bytes it shares
    /// rather than copies, as one undo step of its own.
    void replace(qint64 from, qint64 to, const Text &inserted, Selection before, Selection after);
    /// Makes the next edit an undo step of its own.
    void closeUndoStep() { stepOpen = false; }

    bool canUndo() const { return !undoSteps.empty(); }
    bool canRedo() const { return !redoSteps.empty(); }
    /// Takes back the last step; what that changed, or std::nullopt when there is none.
    std::optional<StepChange> undo();
    /// Makes the last step taken back again; what that changed, or std::nullopt.
    std::optional<StepChange> redo();

private:
    // Where the texts before and after a step differ: outside the `beforeLength` bytes from
    // `position` in the text before and the `afterLength` bytes from there in the text after,
    // the two hold the same bytes.
    struct Span
    {
        qint64 position;
        qint64 beforeLength;
        qint64 afterLength;
    };
    struct Step
    {
        Text before;
        Text after;
        Selection selectionBefore;
        Selection selectionAfter;
        Edit kind;
        Span span;
    };

    /// Moves the last step of `from` to `to` and makes its before or after text the
    /// document's; what that changed, or std::nullopt when `from` is empty.
    std::optional<StepChange> moveStep(std::vector<Step> &from, std::vector<Step> &to, bool undo);
    /// Makes `edited` the text as an undo step of `kind` that changed `span`, merged into the
    /// last one where it goes on from there.
    void record(Text edited, Span span, Edit kind, Selection before, Selection after);
    /// Copies `bytes` into an add buffer; std::nullopt when memory runs out.
    std::optional<Piece> store(QByteArrayView bytes);

    Text current;
    std::shared_ptr<ByteBuffer> addBuffer;
    std::vector<Step> undoSteps;
    std::vector<Step> redoSteps;
    bool stepOpen = false;
};
