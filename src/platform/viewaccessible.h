#pragma once

#include <QAccessibleWidget>

class ScintillaView;

// What screen readers see of the byte view: its text, caret, selection and length. One byte is
// one character, so every offset is a position and every answer costs constant time (but the
// text itself).
class ViewAccessible final : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit ViewAccessible(ScintillaView *view);

    void *interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text kind) const override;
    QAccessible::State state() const override;

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

private:
    ScintillaView *view() const;
};

// Makes every ScintillaView answer screen readers through ViewAccessible rather than the widget's
// built-in accessibility, which counts characters from the start of the text on every update.
void installViewAccessible();
