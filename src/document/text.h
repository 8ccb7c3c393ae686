#pragma once

#include "bytebuffer.h"

#include <QByteArray>
#include <QByteArrayView>

#include <memory>
#include <vector>

struct PieceNode;

// A run of bytes of a buffer: the bytes from `start` on, `length` of them.
struct Piece
{
    std::shared_ptr<const ByteBuffer> buffer;
    qint64 start = 0;
    qint64 length = 0;

    QByteArrayView bytes() const { return {buffer->data() + start, length}; }
};

// An immutable text of bytes: a sequence of pieces over shared buffers, kept in a balanced tree
// whose nodes are shared between texts. Copying a text costs O(1) and the copy never changes;
// an edit makes a new text in O(log pieces), sharing all but the nodes on one path.
class Text
{
public:
    /// The empty text.
    Text();
    /// A text of its own copy of `bytes`; throws std::bad_alloc when memory runs out.
    static Text copyOf(QByteArrayView bytes);

    qint64 size() const;
    bool isEmpty() const { return size() == 0; }
    qint64 pieceCount() const;
    /// How many nodes the longest path from the tree's root holds; edits keep it logarithmic
    /// in pieceCount() whatever their order.
    int depth() const;

    /// The byte at `offset`, which lies below size().
    char at(qint64 offset) const;
    /// A copy of the bytes from `from` to `to`, both clamped to the text.
    QByteArray bytes(qint64 from, qint64 to) const;
    /// The whole text in one array.
    QByteArray toByteArray() const { return bytes(0, size()); }

    /// This text with the bytes of `piece` inserted at `offset` (at most size()).
    Text inserted(qint64 offset, const Piece &piece) const;
    /// This text with `other` inserted at `offset` (at most size()), sharing its buffers; costs
    /// O(other's pieces + log pieces).
    Text inserted(qint64 offset, const Text &other) const;
    /// The bytes from `from` to `to` (both clamped) as a text of their own, sharing buffers.
    Text sliced(qint64 from, qint64 to) const;
    /// This text without the bytes from `from` to `to`.
    Text removed(qint64 from, qint64 to) const;
    /// This text followed by `piece`.
    Text appended(const Piece &piece) const { return inserted(size(), piece); }

private:
    friend class TextSpans;
    explicit Text(std::shared_ptr<const PieceNode> root);
    std::vector<const PieceNode *> piecesInOrder() const;

    std::shared_ptr<const PieceNode> root;
};

// Reads a text's bytes from an offset on, span by span, where they lie in their buffers. Holds
// the text, so the spans stay valid as long as the reader lives.
class TextSpans
{
public:
    /// Reads `text` from `from` to `to` (both clamped to the text).
    TextSpans(const Text &text, qint64 from, qint64 to);
    explicit TextSpans(const Text &text, qint64 from = 0)
        : TextSpans(text, from, text.size())
    {
    }

    /// The next span; empty once the end is reached.
    QByteArrayView next();

    /// Calls `use` with each span of `text` from `from` to `to`, until it returns false.
    template <typename Use> static void forEach(const Text &text, qint64 from, qint64 to, Use &&use)
    {
        TextSpans spans(text, from, to);
        for (QByteArrayView span = spans.next(); !span.isEmpty(); span = spans.next()) {
            if (!use(span))
                return;
        }
    }

private:
    void descendLeftmost(const PieceNode *node);

    Text text;
    // The nodes whose pieces come next, the next one last.
    std::vector<const PieceNode *> pending;
    qint64 skip = 0;
    qint64 left;
};
