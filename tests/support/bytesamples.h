#pragma once

#include <QByteArray>
#include <QTest>

#include <algorithm>

/// The 256 byte values in ascending order.
inline QByteArray everyByteValue()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(static_cast<char>(value));
    return bytes;
}

/// Adds the contents a trip through the view must keep byte for byte, as rows of a test whose
/// data has the QByteArray column "bytes".
inline void addRoundTripRows()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("every byte value") << everyByteValue();
    QTest::newRow("every byte value twice backwards") << [] {
        QByteArray bytes = everyByteValue().repeated(2);
        std::reverse(bytes.begin(), bytes.end());
        return bytes;
    }();
    QTest::newRow("line end mix") << QByteArrayLiteral("\r\na\rb\nc\r\r\n\n\rd\n\r\n\r");
    QTest::newRow("NUL runs") << QByteArray(70000, '\0') + "MZ" + QByteArray(3, '\0');
    QTest::newRow("C1 and no-break spaces")
        << QByteArrayLiteral("\x7f\x80\x85\x9f\xa0 \xa0\xad\xff");
    QTest::newRow("one long line") << QByteArray(1 << 20, 'x');
}
