#include "byteeditor.h"
#include "clipboardbytes.h"
#include "editingrows.h"
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
    void refusalsChangeNothing();
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
    addEditingRows();
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

// What cannot be copied or pasted leaves the text and the selection as they were and says why;
// so does a copy whose formats cannot be made for lack of memory, and the program goes on.
void TestByteEditor::refusalsChangeNothing()
{
    ByteEditor editor;
    QSignalSpy refused(&editor, &ByteEditor::refused);
    const qint64 mib = 1 << 20;
    editor.setText(repeatedText(QByteArray(mib, '\xe9'), ByteEditor::copyLimit / mib + 1));
    editor.select(1, ByteEditor::copyLimit);
    const std::unique_ptr<ClipboardBytes> copied = editor.copy();
    QVERIFY(copied);
    editor.selectAll();
    QVERIFY(!editor.cut());
    QCOMPARE(editor.length(), ByteEditor::copyLimit + mib);
    QCOMPARE(refused.size(), 1);
    editor.setText(Text::copyOf("abc"));
    editor.select(1, 1);
    QMimeData foreign;
    foreign.setText(QStringLiteral("x\u4e2dy"));
    editor.paste(foreign);
    editor.paste(MimeDataBeyondMemory());
    QCOMPARE(refused.last().first().toString(),
             QStringLiteral("Nothing was pasted: there is not enough memory for what the "
                            "clipboard holds."));
    QCOMPARE(editor.text().toByteArray(), QByteArrayLiteral("abc"));
    QCOMPARE(editor.selection(), (Selection{1, 2}));

#if !defined(__SANITIZE_ADDRESS__) // which reserves more address space than a limit leaves
    // Room for 64 MiB more than the program holds, where the text in UTF-8 takes 128 MiB.
    QSignalSpy failed(copied.get(), &ClipboardBytes::failed);
    QFile statm(QStringLiteral("/proc/self/statm"));
    QVERIFY(statm.open(QIODevice::ReadOnly));
    const qint64 inUse = statm.readAll().split(' ').first().toLongLong() * ::sysconf(_SC_PAGESIZE);
    rlimit previous{};
    ::getrlimit(RLIMIT_AS, &previous);
    const rlimit limit{rlim_t(inUse + 64 * mib), previous.rlim_max};
    QCOMPARE(::setrlimit(RLIMIT_AS, &limit), 0);
    const QByteArray text = copied->data(QStringLiteral("text/plain"));
    ::setrlimit(RLIMIT_AS, &previous);
    QVERIFY(text.isEmpty());
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.first().first().toString(),
             QStringLiteral("The %1 copied bytes could not be handed over as text/plain: there "
                            "is not enough memory.")
                 .arg(QLocale::system().toString(ByteEditor::copyLimit)));
    QCOMPARE(copied->data(ClipboardBytes::bytesFormat()).size(), ByteEditor::copyLimit);
#endif
}

QTEST_GUILESS_MAIN(TestByteEditor)
#include "tst_byteeditor.moc"
