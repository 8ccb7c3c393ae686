#pragma once

#include "byteeditor.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>

#include <memory>

class ByteGlyphs;
class QMenu;

// The editable view of a text of bytes: every byte is one cell of a fixed-width font, and long
// lines wrap at the view's width. The editing rules are its ByteEditor's; the view turns events
// into calls on it, paints the rows on screen and scrolls. Every step (a keystroke, a scroll, a
// repaint) costs what is on screen or what the step touches, never the size of the text or the
// length of a line: the scroll bar follows the offset of the top row, so no row count of the
// whole text is kept.
class ByteView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit ByteView(QWidget *parent = nullptr);
    ~ByteView() override;

    /// The text, the selection and the editing rules the view shows and follows.
    ByteEditor &editor() { return model; }
    const ByteEditor &editor() const { return model; }

    /// The offset of the top row's first byte.
    qint64 topOffset() const { return top; }
    /// The cell of the byte at `offset` in viewport coordinates; empty when it is not shown.
    QRect cellRect(qint64 offset) const;
    /// The offset of the byte whose cell holds `point` (viewport coordinates), or -1.
    qint64 byteAt(QPoint point) const;
    /// Scrolls the least that shows the row holding `offset`.
    void scrollTo(qint64 offset);

public slots:
    void cut();
    void copy();
    void paste();
    /// Makes the font `steps` tenths larger, or smaller when negative, within bounds.
    void zoomBy(int steps);
    /// Brings the font back to its size before any zoom.
    void resetZoom();

signals:
    /// A paste or a copy changed nothing, for the reason given.
    void refused(const QString &reason);

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
    struct KeyBinding;
    static const std::vector<KeyBinding> &keyBindings();
    static const KeyBinding *bindingFor(const QKeyEvent *event);

    const ByteGlyphs &glyphs() const;
    qint64 columns() const;
    int visibleRows() const;
    QMenu *makeContextMenu();
    void typeText(const QString &typed);
    void moveCaret(ByteEditor::Step step, bool extend);
    void toggleOverwriteMode();
    /// The offset the caret goes to for a click at `point`.
    qint64 caretOffsetAt(QPoint point) const;
    /// The rows each tick of the timer scrolls while the mouse, selecting, is held beyond the top
    /// (negative) or the bottom row: one at the edge, and one more for every row further out.
    qint64 autoScrollRows() const;
    void extendSelectionToMouse();
    void handOver(std::unique_ptr<ClipboardBytes> copied);

    /// Lays the rows out anew at the view's size and font.
    void layOutRows();
    void scrollToRow(qint64 rowStart);
    void scrollByRows(qint64 rows);
    void updateScrollBar();
    void restartCaretBlink();

    ByteEditor model;
    qint64 top = 0;
    // The top of the last page: the top row when the last row is at the bottom.
    qint64 lastTop = 0;
    // The scroll bar's value is the top row's offset divided by this, so that it fits an int.
    qint64 scrollScale = 1;
    bool settingScrollBar = false;
    // The wheel's turn not yet scrolled, in eighths of a degree times rows per notch.
    int wheelTurned = 0;
    // The steps the font is zoomed by, and the wheel's turn with Ctrl not yet zoomed by.
    int zoom = 0;
    int zoomTurned = 0;
    bool caretShown = true;
    bool selectingWithMouse = false;
    QPoint lastMousePosition;
    QBasicTimer caretBlink;
    QBasicTimer autoScroll;
    mutable std::unique_ptr<ByteGlyphs> glyphCache;
};
