#include "byteglyphs.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include <array>
#include <cmath>

namespace {

// Line ends and tabs get arrows, which no byte of ISO-8859-1 draws: CR returns left, LF moves
// down, a tab moves right.
QChar arrowFor(uchar byte)
{
    switch (byte) {
    case '\t':
        return QChar(0x2192);
    case '\n':
        return QChar(0x2193);
    case '\r':
        return QChar(0x2190);
    default:
        return {};
    }
}

// The hex digits 0 to F as 5 by 7 pixels, a row to a number, the leftmost pixel in bit 4. A font
// this small blurs 0, 8, 9, B and D into one another; whole pixels keep each its own shape.
constexpr std::array<std::array<uchar, 7>, 16> hexDigitPixels = {{
    {0b01110, 0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b01110},
    {0b00100, 0b01100, 0b00100, 0b00100, 0b00100, 0b00100, 0b01110},
    {0b01110, 0b10001, 0b00001, 0b00010, 0b00100, 0b01000, 0b11111},
    {0b11111, 0b00010, 0b00100, 0b00010, 0b00001, 0b10001, 0b01110},
    {0b00010, 0b00110, 0b01010, 0b10010, 0b11111, 0b00010, 0b00010},
    {0b11111, 0b10000, 0b11110, 0b00001, 0b00001, 0b10001, 0b01110},
    {0b00110, 0b01000, 0b10000, 0b11110, 0b10001, 0b10001, 0b01110},
    {0b11111, 0b00001, 0b00010, 0b00100, 0b01000, 0b01000, 0b01000},
    {0b01110, 0b10001, 0b10001, 0b01110, 0b10001, 0b10001, 0b01110},
    {0b01110, 0b10001, 0b10001, 0b01111, 0b00001, 0b00010, 0b01100},
    {0b01110, 0b10001, 0b10001, 0b10001, 0b11111, 0b10001, 0b10001},
    {0b11110, 0b10001, 0b10001, 0b11110, 0b10001, 0b10001, 0b11110},
    {0b01110, 0b10001, 0b10000, 0b10000, 0b10000, 0b10001, 0b01110},
    {0b11100, 0b10010, 0b10001, 0b10001, 0b10001, 0b10010, 0b11100},
    {0b11111, 0b10000, 0b10000, 0b11110, 0b10000, 0b10000, 0b11111},
    {0b11111, 0b10000, 0b10000, 0b11110, 0b10000, 0b10000, 0b10000},
}};

// Fills the pixels of hex digit `digit`, each a square of side `scale`, from `at` on.
void addHexDigit(QPainterPath &path, QPointF at, int digit, qreal scale)
{
    for (int row = 0; row < 7; ++row) {
        for (int column = 0; column < 5; ++column) {
            if (hexDigitPixels[digit][row] & (0b10000 >> column))
                path.addRect(QRectF(at + QPointF(column, row) * scale, QSizeF(scale, scale)));
        }
    }
}

} // namespace

bool ByteGlyphs::isSymbol(uchar byte)
{
    return byte < 0x20 || (byte >= 0x7f && byte <= 0xa0) || byte == 0xad;
}

QColor ByteGlyphs::symbolColor(const QPalette &palette)
{
    // Violet reads well on light and dark bases and is not used for anything else.
    return palette.color(QPalette::Base).lightness() > 128 ? QColor(0x7b, 0x2f, 0xbf)
                                                           : QColor(0xc8, 0x9b, 0xff);
}

ByteGlyphs::ByteGlyphs(const QFont &font, const QPalette &palette, qreal devicePixelRatio)
{
    const QFontMetrics metrics(font);
    cell = QSize(std::max(1, metrics.horizontalAdvance(QLatin1Char('M'))),
                 std::max(1, metrics.height()));
    atlas = QPixmap(QSize(256 * cell.width(), 2 * cell.height()) * devicePixelRatio);
    atlas.setDevicePixelRatio(devicePixelRatio);
    atlas.fill(Qt::transparent);

    QPainter painter(&atlas);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const QColor symbol = symbolColor(palette);
    const QColor selectedText = palette.color(QPalette::HighlightedText);
    for (int byte = 0; byte < 256; ++byte) {
        const QRect unselectedCell(QPoint(byte * cell.width(), 0), cell);
        drawCell(painter, unselectedCell, uchar(byte), font, palette.color(QPalette::Text), symbol);
        drawCell(painter, unselectedCell.translated(0, cell.height()), uchar(byte), font,
                 selectedText, selectedText);
    }
}

void ByteGlyphs::drawCell(QPainter &painter, QRect cellRect, uchar byte, const QFont &font,
                          const QColor &text, const QColor &symbol) const
{
    const QChar arrow = arrowFor(byte);
    if (isSymbol(byte) && arrow.isNull()) {
        // Controls, the no-break space and the soft hyphen have no glyph of their own, or one
        // that passes for another byte's: their value shows as two hex digits, one above the
        // other, scaled by whole pixels while the cell has room, so that they stay sharp. The
        // two digits of a cell stand closer together than to the digits of the rows around.
        const qreal fit = std::min((cellRect.width() - 1) / 5.0, cellRect.height() / 17.0);
        const qreal scale = fit >= 1 ? std::floor(fit) : fit;
        const QPointF at(cellRect.left() + std::round((cellRect.width() - 5 * scale) / 2),
                         cellRect.top() + std::round((cellRect.height() - 15 * scale) / 2));
        QPainterPath digits;
        addHexDigit(digits, at, byte >> 4, scale);
        addHexDigit(digits, at + QPointF(0, 8 * scale), byte & 0xf, scale);
        // Zero bytes fill much of a program file; paler, they leave the rest easier to read.
        QColor ink = symbol;
        if (byte == 0)
            ink.setAlphaF(0.4f);
        painter.fillPath(digits, ink);
        return;
    }
    const QString glyph(arrow.isNull() ? QChar(char16_t(byte)) : arrow);
    painter.setFont(font);
    painter.setPen(arrow.isNull() ? text : symbol);
    // A glyph that comes from a fallback font may be wider than the cell; it is squeezed in.
    const QFontMetrics metrics(font);
    const int advance = metrics.horizontalAdvance(glyph);
    painter.save();
    painter.translate(cellRect.topLeft());
    if (advance > cellRect.width())
        painter.scale(qreal(cellRect.width()) / advance, 1);
    painter.drawText(QPoint(std::max(0, (cellRect.width() - advance) / 2), metrics.ascent()),
                     glyph);
    painter.restore();
}

void ByteGlyphs::draw(QPainter &painter, QPoint at, uchar byte, bool selected) const
{
    const QRect source(QPoint(byte * cell.width(), selected ? cell.height() : 0), cell);
    painter.drawPixmap(QRect(at, cell), atlas,
                       QRectF(QRectF(source).topLeft() * atlas.devicePixelRatio(),
                              QSizeF(cell) * atlas.devicePixelRatio())
                           .toRect());
}
