#pragma once

#include "byteeditor.h"
#include "document.h"

#include <QMetaEnum>
#include <QTest>

/// Runs `commands`, words between blanks, on `editor`: a step's name moves the caret
/// (`NextWord`), extends the selection after a `+` (`+RowEnd`) and erases after a `-`
/// (`-PreviousChar`); a word in quotes is typed (`'ab'`); `Ins` toggles overwrite mode;
/// `Undo`, `Redo` and `Cut` do what they say.
inline void runCommands(ByteEditor &editor, const QString &commands)
{
    for (const QString &command : commands.split(u' ', Qt::SkipEmptyParts)) {
        if (command.startsWith(u'\'')) {
            editor.type(command.sliced(1, command.size() - 2));
        } else if (command == u"Ins") {
            editor.setOverwriteMode(!editor.overwriteMode());
        } else if (command == u"Undo") {
            editor.undo();
        } else if (command == u"Redo") {
            editor.redo();
        } else if (command == u"Cut") {
            (void)editor.cut();
        } else {
            const bool extend = command.startsWith(u'+');
            const bool erase = command.startsWith(u'-');
            bool known = false;
            const auto step = ByteEditor::Step(QMetaEnum::fromType<ByteEditor::Step>().keyToValue(
                command.sliced(extend || erase ? 1 : 0).toLatin1(), &known));
            QVERIFY2(known, qPrintable(command));
            erase ? editor.erase(step) : editor.move(step, extend);
        }
    }
}

/// Adds rows of editing steps as a user takes them, and what they make of a text: the columns
/// "before" (the text), "columns" (of its rows; a page is 3 rows), "selection", "commands" (as
/// runCommands() reads them), "after" (the text) and "selectionAfter". They cover every step
/// and every deletion on the first and the last row, an empty last line and wrapped rows, across
/// CR LF, a lone CR and the text's end, and typing in overwrite mode at the end.
inline void addEditingRows()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<qint64>("columns");
    QTest::addColumn<Selection>("selection");
    QTest::addColumn<QString>("commands");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<Selection>("selectionAfter");
    const auto add = [](const char *name, const QByteArray &before, qint64 columns,
                        Selection selection, const char *commands, const QByteArray &after,
                        Selection selectionAfter) {
        QTest::newRow(name) << before << columns << selection << QString::fromUtf8(commands)
                            << after << selectionAfter;
    };
    const auto moves = [&add](const char *name, const QByteArray &bytes, qint64 columns,
                              Selection selection, const char *commands, Selection selectionAfter) {
        add(name, bytes, columns, selection, commands, bytes, selectionAfter);
    };

    // Rows "one\r\n", "two\r", "three\n" and an empty last line.
    const QByteArray lines = QByteArrayLiteral("one\r\ntwo\rthree\n");
    moves("Right at the end", lines, 8, {15, 15}, "NextChar", {15, 15});
    moves("Left at the start", lines, 8, {0, 0}, "PreviousChar", {0, 0});
    moves("Right over CR LF", lines, 8, {3, 3}, "NextChar NextChar", {5, 5});
    moves("Up on the first row", lines, 8, {2, 2}, "PreviousRow", {0, 0});
    moves("Down on the last row", "ab\ncd", 8, {4, 4}, "NextRow", {5, 5});
    moves("Down onto an empty last line", lines, 8, {12, 12}, "NextRow", {15, 15});
    moves("Up from an empty last line", lines, 8, {15, 15}, "PreviousRow", {9, 9});
    moves("Up stops before a lone CR, then CR LF", lines, 8, {13, 13}, "PreviousRow", {8, 8});
    moves("Up keeps the column", lines, 8, {13, 13}, "PreviousRow PreviousRow", {3, 3});
    moves("Down keeps the column over a short line", "abcdef\nab\nabcdef", 8, {4, 4},
          "NextRow NextRow +PreviousRow", {14, 9});
    moves("Down onto a CR LF split by a wrap", "abc\r\nd", 4, {1, 1}, "NextRow", {4, 4});
    moves("End before CR LF", lines, 8, {1, 1}, "RowEnd", {3, 3});
    moves("Shift+End before a lone CR", lines, 8, {6, 6}, "+RowEnd", {6, 8});
    moves("End before the last LF", lines, 8, {10, 10}, "RowEnd", {14, 14});
    moves("Home", lines, 8, {12, 12}, "RowStart", {9, 9});
    moves("Home and End on an empty last line", lines, 8, {15, 15}, "RowStart RowEnd", {15, 15});
    moves("Ctrl+Shift+End", lines, 8, {5, 5}, "+TextEnd", {5, 15});
    moves("Ctrl+Home", lines, 8, {5, 15}, "TextStart", {0, 0});
    moves("Ctrl+End and Ctrl+Shift+Home", lines, 8, {5, 5}, "TextEnd +TextStart", {15, 0});

    // Rows of 10, 10 and 5 bytes of one line.
    const QByteArray wrapped(25, 'z');
    moves("End of a wrapped row", wrapped, 10, {13, 13}, "RowEnd", {19, 19});
    moves("Shift+Home of a wrapped row", wrapped, 10, {13, 13}, "+RowStart", {13, 10});
    moves("End of the last row", wrapped, 10, {21, 21}, "RowEnd", {25, 25});
    moves("Up a wrapped row", wrapped, 10, {13, 13}, "PreviousRow", {3, 3});
    moves("Shift+Down onto the last row", wrapped, 10, {17, 17}, "+NextRow", {17, 25});
    moves("Shift+Page Down", wrapped, 10, {3, 3}, "+NextPage", {3, 23});
    moves("Page Down on the last page", wrapped, 10, {23, 23}, "NextPage", {25, 25});
    moves("Shift+Page Up", wrapped, 10, {23, 23}, "+PreviousPage", {23, 3});
    moves("Page Up on the first page", wrapped, 10, {3, 3}, "PreviousPage", {0, 0});
    moves("Down onto the empty row after a full one", QByteArray(20, 'z'), 10, {13, 13}, "NextRow",
          {20, 20});

    const QByteArray words = QByteArrayLiteral("aaaa bbbb cccc dddd");
    moves("Ctrl+Left inside a word", words, 40, {12, 12}, "PreviousWord", {10, 10});
    moves("Ctrl+Shift+Left at a word's end", words, 40, {14, 14}, "+PreviousWord", {14, 10});
    moves("Ctrl+Left at a word's start", words, 40, {10, 10}, "PreviousWord", {5, 5});
    moves("Ctrl+Right at a word's end", words, 40, {4, 4}, "NextWord", {5, 5});
    moves("Ctrl+Right in the last word", words, 40, {16, 16}, "NextWord", {19, 19});
    moves("Ctrl+Shift+Right", words, 40, {0, 0}, "NextWord +NextWord", {5, 10});
    add("Ctrl+Left after typing a word", words, 40, {19, 19}, "'xy' PreviousWord", words + "xy",
        {15, 15});
    add("Ctrl+Backspace", words, 40, {12, 12}, "-PreviousWord", "aaaa bbbb cc dddd", {10, 10});
    add("Ctrl+Delete", words, 40, {10, 10}, "-NextWord", "aaaa bbbb dddd", {10, 10});
    moves("Ctrl+Backspace at the start", words, 40, {0, 0}, "-PreviousWord", {0, 0});
    moves("Ctrl+Delete at the end", words, 40, {19, 19}, "-NextWord", {19, 19});
    const QByteArray mixed("caf\xe9_1.x--y  z\0\0\r\n", 18);
    moves("Ctrl+Right over punctuation", mixed, 40, {0, 0}, "NextWord NextWord NextWord", {8, 8});
    moves("Ctrl+Right over controls and line ends", mixed, 40, {13, 13}, "NextWord NextWord",
          {18, 18});
    moves("Ctrl+Left over line ends", mixed, 40, {18, 18}, "PreviousWord", {14, 14});
    const QByteArray longWord = QByteArray(70000, 'a') + " b";
    moves("Ctrl+Right in a long word", longWord, 40, {0, 0}, "NextWord", {65536, 65536});
    add("Ctrl+Backspace in a long word", longWord, 40, {70000, 70000}, "-PreviousWord",
        QByteArray(70000 - 65536, 'a') + " b", {4464, 4464});

    add("Backspace after CR LF", lines, 8, {5, 5}, "-PreviousChar", "one\rtwo\rthree\n", {4, 4});
    add("Delete before a lone CR", lines, 8, {8, 8}, "-NextChar", "one\r\ntwothree\n", {8, 8});
    add("Backspace on an empty last line", lines, 8, {15, 15}, "-PreviousChar", "one\r\ntwo\rthree",
        {14, 14});
    moves("Backspace at the start", lines, 8, {0, 0}, "-PreviousChar", {0, 0});
    moves("Delete at the end", lines, 8, {15, 15}, "-NextChar", {15, 15});
    add("Backspace deletes a selection", "abcd", 8, {1, 3}, "-PreviousChar", "ad", {1, 1});
    add("Ctrl+Delete deletes a selection", "abcd", 8, {3, 1}, "-NextWord", "ad", {1, 1});

    moves("Right collapses a selection", "abcd", 8, {3, 1}, "NextChar", {3, 3});
    moves("Left collapses a selection", "abcd", 8, {1, 3}, "PreviousChar", {1, 1});
    moves("Shift+Right and Shift+Left", "abcd", 8, {1, 3}, "+NextChar +PreviousChar +PreviousChar",
          {1, 2});

    add("typing replaces a selection", "abcd", 8, {1, 3}, "'X\u00ff\u0080'",
        QByteArray("aX\xff\x80") + 'd', {4, 4});
    moves("characters beyond U+00FF", "abc", 8, {1, 2}, "'x\u20ac'", {1, 2});
    add("overwrite at the end", "abc", 8, {3, 3}, "Ins 'XY'", "abcXY", {5, 5});
    add("overwrite across the end", "abc", 8, {2, 2}, "Ins 'XYZ'", "abXYZ", {5, 5});
    add("overwrite of a selection", "abcd", 8, {0, 2}, "Ins 'X'", "Xcd", {1, 1});
    add("Backspace in overwrite mode", "abc", 8, {3, 3}, "Ins -PreviousChar", "ab", {2, 2});
    add("Insert toggles overwrite", "abcd", 8, {1, 1}, "Ins 'XY' Ins 'Z'", "aXYZd", {4, 4});

    add("a move ends a run of typing", "", 8, {0, 0}, "'ab' 'c' PreviousChar 'd' Undo", "abc",
        {2, 2});
    add("undo and redo", "abc", 8, {3, 3}, "'de' PreviousChar 'f' Undo Undo Redo", "abcde", {5, 5});
    add("a run of deleting is one step", "abcde", 8, {5, 5},
        "-PreviousChar -PreviousChar -PreviousWord Undo", "abcde", {5, 5});
    add("cut and undo", "abc", 8, {0, 2}, "Cut", "c", {0, 0});
}
