#pragma once

#include "bytebuffer.h"
#include "filesource.h"

#include <QByteArray>
#include <QByteArrayView>

#include <memory>
#include <vector>

struct PieceNode;

// A run of bytes of a buffer in memory or of a file read on demand (exactly one of the two is
// set): the bytes from `start` on, `length` of them.
struct Piece
{
    static Piece inBuffer(std::shared_ptr<const ByteBuffer> buffer, qint64 start, qint64 length)
    {
        return {std::move(buffer), nullptr, start, length};
    }
    static Piece inFile(std::shared_ptr<const FileSource> file, qint64 start, qint64 length)
    {
        return {nullptr, std::move(file), start, length};
    }

    std::shared_ptr<const ByteBuffer> buffer;
    std::shared_ptr<const FileSource> file;
    qint64 start = 0;
    qint64 length = 0;
};

// An immutable text of bytes: a sequence of pieces over shared buffers and files, kept in a
// balanced tree whose nodes are shared between texts. Copying a text costs O(1) and the copy
// never changes; an edit makes a new text in O(log pieces), sharing all but the nodes on one
// path.
class Text
{
public:
    /// The empty text.
    Text();
    /// A text of its own copy of `bytes`; throws std::bad_alloc when memory runs out.
    static Text copyOf(QByteArrayView bytes);
    /// The whole of `file`, read on demand.
    static Text ofFile(std::shared_ptr<const FileSource> file);

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
    /// The pieces in order; costs O(pieces).
    std::vector<Piece> pieces() const;

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

// Reads a text's bytes from an offset on, span by span. Bytes in memory are read where they lie;
// bytes of a file come through its page cache, or for reads longer than a few pages straight
// from the file a chunk at a time. A span stays valid until the next call to next().
class TextSpans
{
public:
    /// Reads `text` from `from` to `to` (both clamped to the text).
    TextSpans(const Text &text, qint64 from, qint64 to);
    explicit TextSpans(const Text &text, qint64 from = 0)
        : TextSpans(text, from, text.size())
    {
    }
    ~TextSpans();
    TextSpans(const TextSpans &) = delete;
    TextSpans &operator=(const TextSpans &) = delete;

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
    /// Up to `length` bytes of the file piece being read, from `skip` on.
    QByteArrayView nextOfFile(const Piece &piece, qint64 length);

    Text text;
    // The nodes whose pieces come next, the next one last.
    std::vector<const PieceNode *> pending;
    // The piece being read, and how much of it was read.
    const PieceNode *current = nullptr;
    qint64 skip = 0;
    qint64 left;
    qint64 range;
    // Long reads go past the cache, through a chunk of their own.
    std::unique_ptr<char[]> chunk;
    std::shared_ptr<const Page> page;
};
