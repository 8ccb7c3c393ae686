#pragma once

#include "document.h"

#include <QAccessibleWidget>

class ByteEditor;
class ByteView;

// What screen readers learn of a ByteView: its bytes as characters, one for each, the caret and
// the selection, the text around an offset by character, word and row, and what each edit, load
// and caret move changed. Every answer and every event costs what its range costs, never the
// whole text.
class ByteViewAccessible final : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    /// A word lookup reads at most this many bytes on each side of its offset.
    static constexpr qint64 wordReach = 4 * 1024;
    /// An edit's event carries the text it removed and inserted when neither is longer than this.
    static constexpr qint64 eventTextLimit = 4 * 1024;
    /// The most characters one question gets: a screen reader asks for a whole text only to read
    /// it out, and a text of gigabytes would take gigabytes to answer with.
    static constexpr int textLimit = 1 << 20;

    explicit ByteViewAccessible(ByteView *view);

    void *interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                             int *startOffset, int *endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                            int *startOffset, int *endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                         int *endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

    /// Makes every ByteView answer screen readers through this class.
    static void install();

private:
    ByteView *view() const;
    ByteEditor &editor() const;
    /// The index the viewport has among the widget's children; it is left out of the accessible
    /// children, since it only paints for the view and would report the view's focus as its own.
    int viewportIndex() const;
    /// The range of the unit of `boundary` that holds `offset`.
    std::pair<qint64, qint64> unitAround(qint64 offset,
                                         QAccessible::TextBoundaryType boundary) const;
    QString textOfUnit(std::pair<qint64, qint64> unit, int *startOffset, int *endOffset) const;

    void announceEdit(qint64 position, qint64 removed, qint64 added);
    void announceNewText();
    void announceSelection();
    /// Posts `event` with the caret where it is now.
    void post(QAccessibleTextCursorEvent &&event) const;

    // The text and the selection as screen readers last learned them.
    Text shown;
    Selection reported;
    // The context of the connections to the editor, which end with this interface.
    QObject listener;
};
