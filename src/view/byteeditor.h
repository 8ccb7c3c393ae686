#pragma once

#include "document.h"
#include "rows.h"

#include <QObject>

#include <memory>

class ClipboardBytes;
class QMimeData;

// The editing rules of the byte view, apart from any widget: the text with its undo history, the
// caret and the selection, overwrite mode, the column that Up and Down keep, the word rules, and
// the clipboard's payload. Rows are laid out at the columns and the page height the view sets.
// Every step costs what it touches, never the size of the text: row steps read at most one
// break interval of it, word steps at most wordStepLimit bytes.
class ByteEditor : public QObject
{
    Q_OBJECT

public:
    /// Where a step takes the caret.
    enum class Step {
        NextChar,
        PreviousChar,
        NextWord,     ///< the start of the next word
        PreviousWord, ///< the start of this word, or of the one before
        NextRow,
        PreviousRow,
        NextPage,
        PreviousPage,
        RowStart,
        RowEnd,
        TextStart,
        TextEnd,
    };
    Q_ENUM(Step)

    /// A word step stops after this many bytes, and a word ends this far from a byte of it.
    static constexpr qint64 wordStepLimit = 64 * 1024;
    /// The most bytes a copy takes.
    static constexpr qint64 copyLimit = 64 * 1024 * 1024;

    explicit ByteEditor(QObject *parent = nullptr);

    /// The whole text; a snapshot that later edits leave alone.
    const Text &text() const { return document.text(); }
    qint64 length() const { return document.size(); }
    /// Makes `text` the whole text, with the caret at its start; it cannot be undone.
    void setText(Text text);

    Selection selection() const { return current; }
    /// Puts the anchor and the caret where `selection` says, clamped to the text.
    void setSelection(Selection selection);
    /// Selects `count` bytes from `offset`, both clamped to the text.
    void select(qint64 offset, qint64 count);
    void selectAll();

    bool overwriteMode() const { return overwrite; }
    /// Makes typing replace the bytes under the caret instead of inserting before them.
    void setOverwriteMode(bool on);

    /// Lays rows out `columns` cells wide; a page step moves `rowsPerPage` rows less one.
    void setLayout(qint64 columns, qint64 rowsPerPage);
    qint64 columns() const { return rowColumns; }
    Rows rows() const { return Rows(text(), rowColumns); }
    /// The bytes of the row that holds `offset`, from its start to its end.
    std::pair<qint64, qint64> rowAround(qint64 offset) const;
    /// The run of word bytes (letters, digits, underscore), of blanks or of other bytes that
    /// holds the byte at `offset`, reaching at most `reach` bytes either way.
    std::pair<qint64, qint64> wordAround(qint64 offset, qint64 reach = wordStepLimit) const;
    /// Where the caret goes at `column` of the row that starts at `rowStart`: never past the
    /// row's line end, nor onto the next row.
    qint64 caretOffsetIn(qint64 rowStart, qint64 column) const;

    /// Moves the caret by `step`; `extend` keeps the anchor where it is.
    void move(Step step, bool extend);
    /// Moves the caret to `offset`; `extend` keeps the anchor where it is.
    void moveTo(qint64 offset, bool extend);

    /// Types `typed` over the selection, or in overwrite mode over the bytes under the caret;
    /// false, with nothing changed, for a character beyond U+00FF or when memory runs out.
    bool type(const QString &typed);
    /// Deletes the selection, or else the bytes between the caret and where `step` takes it.
    void erase(Step step);
    void deleteSelection();
    /// Ends the run of typing or deleting, so that the next edit is an undo step of its own.
    void endEditRun() { document.closeUndoStep(); }

    bool canUndo() const { return document.canUndo(); }
    bool canRedo() const { return document.canRedo(); }
    void undo();
    void redo();

    /// The clipboard's payload for the selection; nullptr when nothing is selected, or after
    /// refused() when the selection is too large or memory runs out.
    std::unique_ptr<ClipboardBytes> copy();
    /// copy(), then the selection is deleted if it was copied.
    std::unique_ptr<ClipboardBytes> cut();
    /// Replaces the selection with what `data` holds: Korvane's own copy as it is, else the
    /// bytes of another Korvane, else text of characters up to U+00FF, one byte each. Emits
    /// refused() and changes nothing for other characters or when memory runs out.
    void paste(const QMimeData &data);
    /// Whether paste() would take anything from `data`.
    static bool canPaste(const QMimeData *data);

signals:
    /// `removed` bytes from `position` on were replaced by `added` others.
    void textChanged(qint64 position, qint64 removed, qint64 added);
    /// setText() made a new text.
    void textReset();
    /// The caret or the anchor moved, or a step put the caret where it was.
    void selectionChanged();
    /// A paste or a copy changed nothing, for the reason given.
    void refused(const QString &reason);

private:
    /// Where `step` takes the caret, and the column Up and Down keep after it, or -1.
    std::pair<qint64, qint64> target(Step step) const;
    qint64 nextWordStart(qint64 offset) const;
    qint64 previousWordStart(qint64 offset) const;
    /// Replaces the bytes from `from` to `to` as an edit of `kind`, leaving the caret after the
    /// new bytes; false when memory runs out.
    bool replace(qint64 from, qint64 to, QByteArrayView bytes, Document::Edit kind);
    bool replace(qint64 from, qint64 to, const Text &bytes);
    void edited(qint64 position, qint64 removed, qint64 added, Selection after);

    Document document;
    Selection current;
    bool overwrite = false;
    qint64 rowColumns = 1;
    qint64 pageRows = 1;
    // The column Up and Down keep across rows of other lengths; -1 when none is kept.
    qint64 keptColumn = -1;
};
