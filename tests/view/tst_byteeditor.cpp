#include "byteeditor.h"
#include "bytesamples.h"
#include "clipboardbytes.h"
#include "editcommands.h"
#include "rows.h"
#include "textpieces.h"

#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// The rows of `bytes` laid out one byte at a time, breaking also at every multiple of
// `breakEvery`: their starts, and the start of the empty last row when there is one.
QList<qint64> literalRowStarts(const QByteArray &bytes, qint64 columns, qint64 breakEvery)
{
    QList<qint64> starts{0};
    qint64 cells = 0;
    for (qint64 i = 0; i < bytes.size(); ++i) {
        ++cells;
        const bool lineEnd = bytes[i] == '\n' ||
                             (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'));
        if (lineEnd || cells == columns || (i + 1) % breakEvery == 0) {
            starts << i + 1;
            cells = 0;
        }
    }
    return starts;
}

// A clipboard of another program whose data cannot be had for lack of memory.
class MimeDataBeyondMemory final : public QMimeData
{
public:
    QStringList formats() const override { return {QStringLiteral("text/plain")}; }

protected:
    QVariant retrieveData(const QString &, QMetaType) const override { throw std::bad_alloc(); }
};

} // namespace

class TestByteEditor final : public QObject
{
    Q_OBJECT

private slots:
    void rowsFollowALiteralLayout_data();
    void rowsFollowALiteralLayout();
    void stepsAndEdits_data();
    void stepsAndEdits();
    void changesAreReported();
    void clipboardCarriesEveryByte_data();
    void clipboardCarriesEveryByte();
    void refusalsChangeNothing();
    void runningOutOfMemoryIsReported();
};

void TestByteEditor::rowsFollowALiteralLayout_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("columns");
    QTest::addColumn<qint64>("breakEvery");
    const qint64 never = qint64(1) << 40;
    QTest::newRow("empty") << QByteArray() << qint64(4) << never;
    QTest::newRow("line ends") << QByteArrayLiteral("a\nb\rc\r\nd\n\r\r\n\n") << qint64(4) << never;
    QTest::newRow("CR LF split by a wrap")
        << QByteArrayLiteral("abc\r\nab\r\n") << qint64(3) << never;
    QTest::newRow("CR LF split by a break")
        << QByteArrayLiteral("ab\r\nab\r\n") << qint64(9) << qint64(3);
    QTest::newRow("ends with CR") << QByteArrayLiteral("abc\r") << qint64(2) << never;
    QTest::newRow("full last row") << QByteArrayLiteral("abcdef") << qint64(3) << never;
    QTest::newRow("ends at a break") << QByteArrayLiteral("abcdef") << qint64(5) << qint64(3);
    QTest::newRow("one column") << QByteArrayLiteral("a\r\nb") << qint64(1) << never;
    QRandomGenerator random(7);
    for (int round = 0; round < 8; ++round) {
        QByteArray bytes(9000 + random.bounded(9000), 'x');
        for (char &byte : bytes)
            byte = "x\r\n"[random.bounded(round % 2 ? 3 : 2) == 0 ? 0 : random.bounded(3)];
        // Rounds with line ends only now and then have lines longer than an interval.
        if (round >= 4) {
            for (char &byte : bytes)
                byte = random.bounded(500) == 0 ? byte : 'x';
        }
        QTest::addRow("random %d", round)
            << bytes << qint64(1 + random.bounded(90)) << qint64(1 + random.bounded(3000));
    }
}

// Every offset's row, each row's end, and moving by rows agree with laying the text out byte by
// byte, whatever the pieces the text is made of.
void TestByteEditor::rowsFollowALiteralLayout()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, columns);
    QFETCH(qint64, breakEvery);
    const Text text = textInPieces(bytes, 997, 1);
    const Rows rows(text, columns, breakEvery);
    const QList<qint64> starts = literalRowStarts(bytes, columns, breakEvery);
    QCOMPARE(rows.lastStart(), starts.last());
    for (qsizetype row = 0, offset = 0; offset <= bytes.size(); ++offset) {
        while (row + 1 < starts.size() && starts[row + 1] <= offset)
            ++row;
        QCOMPARE(rows.startOf(offset), starts[row]);
        if (offset == starts[row]) {
            QCOMPARE(rows.endOf(offset), row + 1 < starts.size() ? starts[row + 1] : bytes.size());
            QCOMPARE(rows.moved(offset, 3), starts[std::min(row + 3, starts.size() - 1)]);
            QCOMPARE(rows.moved(offset, -2), starts[std::max<qsizetype>(row - 2, 0)]);
        }
    }
}

void TestByteEditor::stepsAndEdits_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<qint64>("columns");
    QTest::addColumn<Selection>("selection");
    QTest::addColumn<QString>("commands"); // as runCommands() reads them; pages are 3 rows
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
    moves("Down below CR LF", lines, 8, {1, 1}, "NextRow", {6, 6});
    moves("Down onto an empty last line", lines, 8, {12, 12}, "NextRow", {15, 15});
    moves("Up from an empty last line", lines, 8, {15, 15}, "PreviousRow", {9, 9});
    moves("Up stops before a lone CR, then CR LF", lines, 8, {13, 13}, "PreviousRow", {8, 8});
    moves("Up keeps the column", lines, 8, {13, 13}, "PreviousRow PreviousRow", {3, 3});
    moves("Down keeps the column over a short line", "abcdef\nab\nabcdef", 8, {4, 4},
          "NextRow NextRow +PreviousRow", {14, 9});
    moves("Down onto a CR LF split by a wrap", "abc\r\nd", 4, {1, 1}, "NextRow", {4, 4});
    moves("End before CR LF", lines, 8, {1, 1}, "RowEnd", {3, 3});
    moves("End before a lone CR", lines, 8, {6, 6}, "RowEnd", {8, 8});
    moves("End before the last LF", lines, 8, {10, 10}, "RowEnd", {14, 14});
    moves("Home", lines, 8, {12, 12}, "RowStart", {9, 9});
    moves("Home and End on an empty last line", lines, 8, {15, 15}, "RowStart RowEnd", {15, 15});
    moves("Ctrl+Shift+End", lines, 8, {5, 5}, "+TextEnd", {5, 15});
    moves("Ctrl+Home", lines, 8, {5, 15}, "TextStart", {0, 0});

    // Rows of 10, 10 and 5 bytes of one line.
    const QByteArray wrapped(25, 'z');
    moves("End of a wrapped row", wrapped, 10, {13, 13}, "RowEnd", {19, 19});
    moves("Shift+Home of a wrapped row", wrapped, 10, {13, 13}, "+RowStart", {13, 10});
    moves("End of the last row", wrapped, 10, {21, 21}, "RowEnd", {25, 25});
    moves("Up a wrapped row", wrapped, 10, {13, 13}, "PreviousRow", {3, 3});
    moves("Down onto the last row", wrapped, 10, {17, 17}, "NextRow", {25, 25});
    moves("Page Down", wrapped, 10, {3, 3}, "NextPage", {23, 23});
    moves("Page Down on the last page", wrapped, 10, {23, 23}, "NextPage", {25, 25});
    moves("Page Up", wrapped, 10, {23, 23}, "PreviousPage", {3, 3});
    moves("Page Up on the first page", wrapped, 10, {3, 3}, "PreviousPage", {0, 0});
    moves("Down onto the empty row after a full one", QByteArray(20, 'z'), 10, {13, 13}, "NextRow",
          {20, 20});
    moves("End of a full row before the last", QByteArray(20, 'z'), 10, {13, 13}, "RowEnd",
          {19, 19});

    const QByteArray words = QByteArrayLiteral("aaaa bbbb cccc dddd");
    moves("Ctrl+Left inside a word", words, 40, {12, 12}, "PreviousWord", {10, 10});
    moves("Ctrl+Left at a word's end", words, 40, {14, 14}, "PreviousWord", {10, 10});
    moves("Ctrl+Left at a word's start", words, 40, {10, 10}, "PreviousWord", {5, 5});
    moves("Ctrl+Right at a word's end", words, 40, {4, 4}, "NextWord", {5, 5});
    moves("Ctrl+Right inside a word", words, 40, {1, 1}, "NextWord", {5, 5});
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
    moves("Ctrl+Left over Latin-1 letters", mixed, 40, {6, 6}, "PreviousWord", {0, 0});
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
    moves("Shift+Right extends a selection", "abcd", 8, {1, 3}, "+NextChar", {1, 4});

    add("typing replaces a selection", "abcd", 8, {1, 3}, "'X'", "aXd", {2, 2});
    moves("characters beyond U+00FF", "abc", 8, {1, 2}, "'x\u20ac'", {1, 2});
    add("overwrite", "abcd", 8, {1, 1}, "Ins 'XY'", "aXYd", {3, 3});
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
    moves("undo of a cut", "abc", 8, {0, 2}, "Cut Undo", {0, 2});
}

void TestByteEditor::stepsAndEdits()
{
    QFETCH(QByteArray, before);
    QFETCH(qint64, columns);
    QFETCH(Selection, selection);
    QFETCH(QString, commands);
    QFETCH(QByteArray, after);
    QFETCH(Selection, selectionAfter);

    ByteEditor editor;
    editor.setText(textInPieces(before, 3, 1));
    editor.setLayout(columns, 3);
    editor.setSelection(selection);
    runCommands(editor, commands);
    QCOMPARE(editor.text().toByteArray(), after);
    QCOMPARE(editor.selection(), selectionAfter);
}

// Each edit says which bytes it replaced, and the caret's moves are announced.
void TestByteEditor::changesAreReported()
{
    ByteEditor editor;
    editor.setText(Text::copyOf("abcdef"));
    QSignalSpy changes(&editor, &ByteEditor::textChanged);
    QSignalSpy moves(&editor, &ByteEditor::selectionChanged);
    const auto changed = [&changes](qint64 position, qint64 removed, qint64 added) {
        return changes.size() == 1 &&
               changes.takeFirst() == QList<QVariant>{position, removed, added};
    };
    editor.select(1, 2);
    QCOMPARE(moves.size(), 1);
    editor.type(QStringLiteral("xyz"));
    QVERIFY(changed(1, 2, 3));
    editor.erase(ByteEditor::Step::PreviousWord);
    QVERIFY(changed(0, 4, 0));
    editor.paste(ClipboardBytes(Text::copyOf("12")));
    QVERIFY(changed(0, 0, 2));
    editor.undo();
    QVERIFY(changed(0, 5, 3));
    QCOMPARE(moves.size(), 5);
}

void TestByteEditor::clipboardCarriesEveryByte_data()
{
    addRoundTripRows();
}

// A copy hands other programs each byte as its ISO-8859-1 character, another Korvane the bytes
// exactly, and this one the copied bytes themselves, shared rather than copied; all of them
// paste back as the same bytes, whatever the text went through since the copy.
void TestByteEditor::clipboardCarriesEveryByte()
{
    QFETCH(QByteArray, bytes);
    ByteEditor source;
    source.setText(textInPieces("<" + bytes + ">", 1000, 2));
    source.select(1, bytes.size());
    const std::unique_ptr<ClipboardBytes> copied = source.copy();
    QCOMPARE(copied == nullptr, bytes.isEmpty());
    if (!copied)
        return;
    source.type(QStringLiteral("edited"));

    QCOMPARE(copied->text(), QString::fromLatin1(bytes));
    QCOMPARE(copied->data(QStringLiteral("text/plain")), QString::fromLatin1(bytes).toUtf8());
    QCOMPARE(copied->data(ClipboardBytes::bytesFormat()), bytes);

    ByteEditor target;
    target.setText(Text::copyOf("[]"));
    target.select(1, 0);
    target.paste(*copied);
    QCOMPARE(target.text().toByteArray(), "[" + bytes + "]");
    QCOMPARE(TextSpans(target.text(), 1).next().data(), TextSpans(copied->bytes()).next().data());
    QMimeData otherKorvane;
    otherKorvane.setData(ClipboardBytes::bytesFormat(), bytes);
    target.paste(otherKorvane);
    QMimeData otherProgram;
    otherProgram.setText(QString::fromLatin1(bytes));
    target.paste(otherProgram);
    QCOMPARE(target.text().toByteArray(), "[" + bytes + bytes + bytes + "]");
}

// What cannot be pasted or copied leaves the text as it was and says why.
void TestByteEditor::refusalsChangeNothing()
{
    ByteEditor editor;
    QSignalSpy refused(&editor, &ByteEditor::refused);
    const qint64 mib = 1 << 20;
    editor.setText(repeatedText(QByteArray(mib, 'a'), ByteEditor::copyLimit / mib + 1));
    editor.select(1, ByteEditor::copyLimit);
    QVERIFY(editor.copy());
    editor.selectAll();
    QVERIFY(!editor.cut());
    QCOMPARE(editor.length(), ByteEditor::copyLimit + mib);
    const QLocale locale = QLocale::system();
    QCOMPARE(refused.takeFirst().first().toString(),
             QStringLiteral("Nothing was copied: the selection holds %1 bytes, and at most %2 "
                            "bytes (64 MiB) can be copied at once.")
                 .arg(locale.toString(ByteEditor::copyLimit + mib),
                      locale.toString(ByteEditor::copyLimit)));

    editor.setText(Text::copyOf("abc"));
    editor.select(1, 1);
    QMimeData foreign;
    foreign.setText(QStringLiteral("x\u4e2dy"));
    editor.paste(foreign);
    QCOMPARE(refused.takeFirst().first().toString(),
             QStringLiteral("Nothing was pasted: the clipboard holds \"\u4e2d\" (U+4E2D), which "
                            "is not one of the 256 characters that stand for bytes."));
    editor.paste(MimeDataBeyondMemory());
    QCOMPARE(refused.takeFirst().first().toString(),
             QStringLiteral("Nothing was pasted: there is not enough memory for what the "
                            "clipboard holds."));
    QCOMPARE(editor.text().toByteArray(), QByteArrayLiteral("abc"));
    QCOMPARE(editor.selection(), (Selection{1, 2}));
}

// A copy whose formats cannot be made for lack of memory says so, and the program goes on.
void TestByteEditor::runningOutOfMemoryIsReported()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer reserves more address space than a limit can leave");
#endif
    ByteEditor editor;
    editor.setText(repeatedText(QByteArray(1 << 20, '\xe9'), 48));
    editor.selectAll();
    const std::unique_ptr<ClipboardBytes> copied = editor.copy();
    QSignalSpy failed(copied.get(), &ClipboardBytes::failed);
    QSignalSpy producing(copied.get(), &ClipboardBytes::producing);

    // Room for 64 MiB more than the program holds now, where the text takes 96 MiB.
    QFile statm(QStringLiteral("/proc/self/statm"));
    QVERIFY(statm.open(QIODevice::ReadOnly));
    const qint64 inUse = statm.readAll().split(' ').first().toLongLong() * ::sysconf(_SC_PAGESIZE);
    rlimit previous{};
    ::getrlimit(RLIMIT_AS, &previous);
    rlimit limit = previous;
    limit.rlim_cur = rlim_t(inUse + (64 << 20));
    QCOMPARE(::setrlimit(RLIMIT_AS, &limit), 0);
    const QByteArray text = copied->data(QStringLiteral("text/plain"));
    ::setrlimit(RLIMIT_AS, &previous);

    QVERIFY(text.isEmpty());
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.first().first().toString(),
             QStringLiteral("The %1 copied bytes could not be handed over as text/plain: there "
                            "is not enough memory.")
                 .arg(QLocale::system().toString(48 << 20)));
    QCOMPARE(producing.size(), 2);
    QCOMPARE(copied->data(ClipboardBytes::bytesFormat()).size(), 48 << 20);
}

QTEST_GUILESS_MAIN(TestByteEditor)
#include "tst_byteeditor.moc"
