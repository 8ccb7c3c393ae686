#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QSize>

class QPainter;
class QPalette;

// The picture of every byte value in one cell of a fixed-width font. Printable ISO-8859-1
// characters show their glyph. The rest are symbols in a colour of their own: tab, LF and CR
// are arrows, and the other controls (C0, DEL and C1), the no-break space and the soft hyphen,
// which have no visible glyph or one that passes for another byte's, show their value as two
// small hex digits stacked in the cell.
class ByteGlyphs
{
public:
    ByteGlyphs(const QFont &font, const QPalette &palette, qreal devicePixelRatio);

    QSize cellSize() const { return cell; }
    /// Draws `byte` into the cell whose top left corner is `at`.
    void draw(QPainter &painter, QPoint at, uchar byte, bool selected) const;

    /// Whether `byte` is drawn as a symbol rather than as its own character.
    static bool isSymbol(uchar byte);
    /// The colour symbols are drawn in on `palette`'s base.
    static QColor symbolColor(const QPalette &palette);

private:
    void drawCell(QPainter &painter, QRect cell, uchar byte, const QFont &font, const QColor &text,
                  const QColor &symbol) const;

    QSize cell;
    // One row of 256 cells for unselected bytes and one for selected bytes.
    QPixmap atlas;
};
