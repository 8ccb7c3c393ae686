#pragma once

#include "document.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>

#include <memory>

class ByteGlyphs;
class QMenu;
class QMimeData;

// The editable view of a text of bytes: every byte is one cell of a fixed-width font, long
// lines wrap at the view's width, and every step (a keystroke, a scroll, a repaint) costs what
// is on screen or what the step touches, never the size of the text or the length of a line.
// The scroll bar follows the offset of the top row, so no row count of the whole text is kept.
class ByteView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit ByteView(QWidget *parent = nullptr);
    ~ByteView() override;

    /// The whole text; a snapshot that later edits leave alone.
    const Text &text() const { return document.text(); }
    qint64 length() const { return document.size(); }
    /// Makes `text` the whole text, with the caret at its start; it cannot be undone.
    void setText(Text text);

    Selection selection() const { return current; }
    qint64 caretOffset() const { return current.caret; }
    qint64 selectionStart() const { return current.start(); }
    qint64 selectionEnd() const { return current.end(); }
    /// Selects `count` bytes from `offset`, both clamped to the text, and scrolls them into view.
    void select(qint64 offset, qint64 count);
    /// Puts the selection's anchor and caret where `selection` says, clamped to the text.
    void setSelection(Selection selection);

    /// Makes typing replace the byte under the caret instead of inserting before it.
    void setOverwriteMode(bool on);

    /// The offset of the top row's first byte.
    qint64 topOffset() const { return top; }
    /// How many cells each row holds.
    qint64 columns() const;
    /// The cell of the byte at `offset` in viewport coordinates; empty when it is not shown.
    QRect cellRect(qint64 offset) const;
    /// The offset of the byte whose cell holds `point` (viewport coordinates), or -1.
    qint64 byteAt(QPoint point) const;
    /// The bytes of the row that holds `offset`, from its start to its end.
    std::pair<qint64, qint64> rowAround(qint64 offset) const;
    /// The run of word bytes (letters, digits, underscore), or of other bytes, that holds the
    /// byte at `offset`.
    std::pair<qint64, qint64> wordAround(qint64 offset) const;
    /// Scrolls the least that shows the row holding `offset`.
    void scrollTo(qint64 offset);

public slots:
    void undo();
    void redo();
    void cut();
    void copy() const;
    void paste();
    void selectAll();
    /// Deletes the selection.
    void deleteSelection();

signals:
    /// The selection or the caret moved.
    void selectionChanged();
    /// A paste changed nothing, for the reason given.
    void pasteRefused(const QString &reason);

protected:
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    const ByteGlyphs &glyphs() const;
    int visibleRows() const;
    QMenu *makeContextMenu();

    bool handleStandardKey(QKeyEvent *event);
    /// Types `typed`: replaces the selection, or in overwrite mode the bytes under the caret.
    void type(const QString &typed);
    /// Replaces the selection with `bytes` as one edit of `kind`; false when memory ran out.
    bool replaceSelection(QByteArrayView bytes, Document::Edit kind);
    void removeRange(qint64 from, qint64 to, Document::Edit kind);
    void afterEdit(Selection selection);
    /// Moves the caret to `offset`, extending the selection when `extend` is set.
    void moveCaret(qint64 offset, bool extend);
    void moveCaretByRows(qint64 rows, bool extend);
    qint64 wordBoundary(qint64 offset, int direction) const;
    /// The offset the caret goes to for a click at `point`.
    qint64 caretOffsetAt(QPoint point) const;
    /// The offset End puts the caret at in the row that starts at `rowStart`.
    qint64 lastCaretOffsetIn(qint64 rowStart) const;
    std::unique_ptr<QMimeData> mimeDataFor(qint64 from, qint64 to) const;

    void scrollToRow(qint64 rowStart);
    void scrollByRows(qint64 rows);
    void updateScrollBar();
    void restartCaretBlink();

    Document document;
    Selection current;
    bool overwrite = false;
    qint64 top = 0;
    // The top of the last page: the top row when the last row is at the bottom.
    qint64 lastTop = 0;
    // The column Up and Down keep to across rows of other lengths; -1 when none is kept.
    qint64 keptColumn = -1;
    // The scroll bar's value is the top row's offset divided by this, so that it fits an int.
    qint64 scrollScale = 1;
    bool settingScrollBar = false;
    // The wheel's turn not yet scrolled, in eighths of a degree times rows per notch.
    int wheelTurned = 0;
    bool caretShown = true;
    bool selectingWithMouse = false;
    QPoint lastMousePosition;
    QBasicTimer caretBlink;
    QBasicTimer autoScroll;
    mutable std::unique_ptr<ByteGlyphs> glyphCache;
};
