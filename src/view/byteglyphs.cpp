#include "byteglyphs.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

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
    painter.setRenderHint(QPainter::TextAntialiasing);
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
        // other.
        // A sans face without the fixed-width face's dotted zero, which reads as an eight
        // this small.
        QFont small(QStringLiteral("DejaVu Sans Condensed"));
        small.setPixelSize(std::max(5, cellRect.height() / 2));
        small.setWeight(QFont::DemiBold);
        painter.setFont(small);
        // Zero bytes fill much of a program file; paler, they leave the rest easier to read.
        QColor ink = symbol;
        if (byte == 0)
            ink.setAlphaF(0.45f);
        painter.setPen(ink);
        const QString hex = QString::number(byte, 16).toUpper().rightJustified(2, u'0');
        QRect half = cellRect;
        half.setHeight(cellRect.height() / 2);
        painter.drawText(half.translated(0, 1), Qt::AlignHCenter | Qt::AlignVCenter, hex.left(1));
        painter.drawText(half.translated(0, half.height()), Qt::AlignHCenter | Qt::AlignVCenter,
                         hex.right(1));
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
