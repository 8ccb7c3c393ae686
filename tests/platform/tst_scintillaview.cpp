#include "scintillaview.h"
#include "viewaccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QTest>

class TestScintillaView final : public QObject
{
    Q_OBJECT

private slots:
    void everyByteIsDrawnDistinguishably();
    void editsKeepTheBytesTyped();
    void screenReadersSeeBytesAsCharacters();
    void noNotificationCarriesTheChangedText();
};

void TestScintillaView::everyByteIsDrawnDistinguishably()
{
    ScintillaView view;
    QVERIFY(view.setBytes(QByteArrayLiteral("x")));
    // C0 controls have the widget's own mnemonics; C1 controls, DEL, the no-break space and the
    // soft hyphen would otherwise look like blanks, boxes or nothing at all. Tabs show as arrows.
    QCOMPARE(view.representation('\0'), QByteArrayLiteral("NUL"));
    QCOMPARE(view.representation('\x1b'), QByteArrayLiteral("ESC"));
    QCOMPARE(view.representation('\x7f'), QByteArrayLiteral("DEL"));
    QCOMPARE(view.representation('\x80'), QByteArrayLiteral("PAD"));
    QCOMPARE(view.representation('\x9f'), QByteArrayLiteral("APC"));
    QCOMPARE(view.representation('\xa0'), QByteArrayLiteral("NBSP"));
    QCOMPARE(view.representation('\xad'), QByteArrayLiteral("SHY"));
    QCOMPARE(view.representation('A'), QByteArray());
    QVERIFY(view.eolVisibility());
    QCOMPARE(view.whitespaceVisibility(), QsciScintilla::WsVisible);
    QCOMPARE(view.whitespaceSize(), 0);
    QCOMPARE(view.wrapMode(), QsciScintilla::WrapNone);
}

void TestScintillaView::editsKeepTheBytesTyped()
{
    ScintillaView view;
    QVERIFY(view.setBytes(QByteArrayLiteral("ab\r\ncd")));
    view.select(view.length(), 0);
    for (const QChar typed : QStringLiteral("\u00e9\u00a0z")) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(typed));
        QApplication::sendEvent(&view, &key);
    }
    QCOMPARE(view.bytes().toByteArray(), QByteArrayLiteral("ab\r\ncd\xe9\xa0z"));
    view.undo();
    QCOMPARE(view.bytes().toByteArray(), QByteArrayLiteral("ab\r\ncd"));
}

void TestScintillaView::screenReadersSeeBytesAsCharacters()
{
    ScintillaView view;
    view.show();
    QVERIFY(view.setBytes(QByteArrayLiteral("MZ\0\xe9t")));
    view.select(1, 3);

    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(&view);
    QVERIFY(accessible);
    QVERIFY(dynamic_cast<ViewAccessible *>(accessible));
    QCOMPARE(accessible->role(), QAccessible::EditableText);
    QCOMPARE(accessible->text(QAccessible::Value), QStringLiteral("MZ\u0000\u00e9t"));

    QAccessibleTextInterface *text = accessible->textInterface();
    QVERIFY(text);
    QCOMPARE(text->characterCount(), 5);
    QCOMPARE(text->text(1, 4), QStringLiteral("Z\u0000\u00e9"));
    QCOMPARE(text->cursorPosition(), 4);
    QCOMPARE(text->selectionCount(), 1);
    int start = -1;
    int end = -1;
    text->selection(0, &start, &end);
    QCOMPARE(start, 1);
    QCOMPARE(end, 4);

    text->setCursorPosition(2);
    QCOMPARE(view.caretOffset(), 2);
    QCOMPARE(text->selectionCount(), 0);
    text->setSelection(0, 0, 2);
    QCOMPARE(view.selectionStart(), 0);
    QCOMPARE(view.selectionEnd(), 2);
}

// Notifications that carry inserted or deleted text make the widget copy that text, which costs
// as much as the whole file when one is loaded.
void TestScintillaView::noNotificationCarriesTheChangedText()
{
    ScintillaView view;
    QList<int> carrying;
    connect(&view, &QsciScintillaBase::SCN_MODIFIED, &view,
            [&carrying](int, int type, const char *text) {
                if (text || (type & (QsciScintillaBase::SC_MOD_INSERTTEXT |
                                     QsciScintillaBase::SC_MOD_DELETETEXT)))
                    carrying << type;
            });
    QVERIFY(view.setBytes(QByteArray(100000, 'x')));
    QTest::keyClick(&view, Qt::Key_A);
    QTest::keyClick(&view, Qt::Key_Backspace);
    view.undo();
    QCOMPARE(carrying, QList<int>());
}

QTEST_MAIN(TestScintillaView)
#include "tst_scintillaview.moc"
