#include "viewaccessible.h"
#include "scintillaview.h"

#include <limits>

namespace {

int clampToInt(qint64 value)
{
    return static_cast<int>(qMin<qint64>(value, std::numeric_limits<int>::max()));
}

QAccessibleInterface *viewAccessibleFactory(const QString &className, QObject *object)
{
    // Asked for the most derived class first, so this wins over the widget's own factory,
    // which answers for its base class.
    if (className == QLatin1String(ScintillaView::staticMetaObject.className()))
        return new ViewAccessible(static_cast<ScintillaView *>(object));
    return nullptr;
}

// Keeps the screen reader's caret and selection in step with the view.
void announceCaret(ScintillaView *view)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleTextCursorEvent caret(view, clampToInt(view->caretOffset()));
    QAccessible::updateAccessibility(&caret);
}

void announceSelection(ScintillaView *view)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleTextSelectionEvent selection(view, clampToInt(view->selectionStart()),
                                            clampToInt(view->selectionEnd()));
    selection.setCursorPosition(clampToInt(view->caretOffset()));
    QAccessible::updateAccessibility(&selection);
}

} // namespace

void installViewAccessible()
{
    static const bool installed = [] {
        QAccessible::installFactory(viewAccessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

ViewAccessible::ViewAccessible(ScintillaView *view)
    : QAccessibleWidget(view, QAccessible::EditableText)
{
    QObject::connect(view, &ScintillaView::cursorPositionChanged, view,
                     [view] { announceCaret(view); });
    QObject::connect(view, &ScintillaView::selectionChanged, view,
                     [view] { announceSelection(view); });
}

ScintillaView *ViewAccessible::view() const
{
    return static_cast<ScintillaView *>(widget());
}

void *ViewAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString ViewAccessible::text(QAccessible::Text kind) const
{
    if (kind == QAccessible::Value)
        return QString::fromLatin1(view()->bytes());
    return QAccessibleWidget::text(kind);
}

QAccessible::State ViewAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.editable = !view()->isReadOnly();
    state.multiLine = true;
    state.selectableText = true;
    return state;
}

void ViewAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || selectionCount() == 0)
        return;
    *startOffset = clampToInt(view()->selectionStart());
    *endOffset = clampToInt(view()->selectionEnd());
}

int ViewAccessible::selectionCount() const
{
    return view()->selectionStart() == view()->selectionEnd() ? 0 : 1;
}

void ViewAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void ViewAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        view()->select(view()->caretOffset(), 0);
}

void ViewAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        view()->select(startOffset, qint64(endOffset) - startOffset);
}

int ViewAccessible::cursorPosition() const
{
    return clampToInt(view()->caretOffset());
}

void ViewAccessible::setCursorPosition(int position)
{
    view()->select(position, 0);
}

QString ViewAccessible::text(int startOffset, int endOffset) const
{
    return QString::fromLatin1(view()->bytesBetween(startOffset, endOffset));
}

int ViewAccessible::characterCount() const
{
    return clampToInt(view()->length());
}

QRect ViewAccessible::characterRect(int offset) const
{
    ScintillaView *v = view();
    const long x = v->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0, long(offset));
    const long y = v->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0, long(offset));
    const long nextX =
        v->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0, long(offset) + 1);
    const long height = v->SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, 0);
    const QPoint topLeft = v->viewport()->mapToGlobal(QPoint(int(x), int(y)));
    return QRect(topLeft, QSize(int(qMax(nextX - x, 1L)), int(height)));
}

int ViewAccessible::offsetAtPoint(const QPoint &point) const
{
    ScintillaView *v = view();
    const QPoint local = v->viewport()->mapFromGlobal(point);
    const long offset =
        v->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMPOINTCLOSE,
                         static_cast<unsigned long>(qMax(local.x(), 0)), long(qMax(local.y(), 0)));
    return clampToInt(offset);
}

void ViewAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    view()->SendScintilla(QsciScintillaBase::SCI_SCROLLRANGE, static_cast<unsigned long>(endIndex),
                          long(startIndex));
}

QString ViewAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    *startOffset = offset;
    *endOffset = offset;
    return QString();
}
