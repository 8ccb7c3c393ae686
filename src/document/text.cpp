#include "text.h"

#include <algorithm>
#include <cstring>
#include <new>

// A node of the tree: one piece, and the sums over the subtree it roots. The tree is a treap:
// ordered by position, and a heap by random priority, which keeps it balanced on average.
// Nodes never change once made; an edit makes new nodes along one path.
struct PieceNode
{
    Piece piece;
    std::shared_ptr<const PieceNode> left;
    std::shared_ptr<const PieceNode> right;
    quint64 priority = 0;
    qint64 length = 0;
    qint64 pieces = 0;
};

namespace {

using NodePtr = std::shared_ptr<const PieceNode>;

qint64 lengthOf(const NodePtr &node)
{
    return node ? node->length : 0;
}

quint64 nextPriority()
{
    // splitmix64 over a counter: well spread, and the same tree shapes from run to run.
    static quint64 state = 0;
    quint64 z = (state += 0x9e3779b97f4a7c15);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
    z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
    return z ^ (z >> 31);
}

NodePtr makeNode(Piece piece, quint64 priority, NodePtr left, NodePtr right)
{
    auto node = std::make_shared<PieceNode>();
    node->length = lengthOf(left) + piece.length + lengthOf(right);
    node->pieces = (left ? left->pieces : 0) + 1 + (right ? right->pieces : 0);
    node->piece = std::move(piece);
    node->priority = priority;
    node->left = std::move(left);
    node->right = std::move(right);
    return node;
}

NodePtr withChildren(const PieceNode &node, NodePtr left, NodePtr right)
{
    return makeNode(node.piece, node.priority, std::move(left), std::move(right));
}

NodePtr leaf(Piece piece)
{
    return makeNode(std::move(piece), nextPriority(), nullptr, nullptr);
}

NodePtr merge(const NodePtr &first, const NodePtr &second)
{
    if (!first)
        return second;
    if (!second)
        return first;
    if (first->priority > second->priority)
        return withChildren(*first, first->left, merge(first->right, second));
    return withChildren(*second, merge(first, second->left), second->right);
}

// The first `offset` bytes and the rest. A piece that straddles the cut is split in two leaves of
// fresh priorities, merged into the subtrees beside it: halves that kept the piece's priority
// would tie with each other and with later halves of the same piece, and ties build chains.
std::pair<NodePtr, NodePtr> split(const NodePtr &node, qint64 offset)
{
    if (!node)
        return {};
    const qint64 leftLength = lengthOf(node->left);
    if (offset <= leftLength) {
        auto [before, after] = split(node->left, offset);
        return {std::move(before), withChildren(*node, std::move(after), node->right)};
    }
    const qint64 pieceEnd = leftLength + node->piece.length;
    if (offset >= pieceEnd) {
        auto [before, after] = split(node->right, offset - pieceEnd);
        return {withChildren(*node, node->left, std::move(before)), std::move(after)};
    }
    const qint64 cut = offset - leftLength;
    Piece head = node->piece;
    head.length = cut;
    Piece tail = node->piece;
    tail.start += cut;
    tail.length -= cut;
    return {merge(node->left, leaf(head)), merge(leaf(tail), node->right)};
}

// `node` with its last piece `length` bytes longer in its buffer; those bytes follow it there.
NodePtr withLastPieceExtended(const NodePtr &node, qint64 length)
{
    if (node->right)
        return withChildren(*node, node->left, withLastPieceExtended(node->right, length));
    Piece piece = node->piece;
    piece.length += length;
    return makeNode(std::move(piece), node->priority, node->left, nullptr);
}

const Piece &lastPiece(const PieceNode *node)
{
    while (node->right)
        node = node->right.get();
    return node->piece;
}

} // namespace

Text::Text() = default;

Text::Text(std::shared_ptr<const PieceNode> root)
    : root(std::move(root))
{
}

Text Text::copyOf(QByteArrayView bytes)
{
    std::shared_ptr<ByteBuffer> buffer = ByteBuffer::allocate(bytes.size());
    if (!buffer)
        throw std::bad_alloc();
    buffer->append(bytes);
    return Text().appended(Piece::inBuffer(std::move(buffer), 0, bytes.size()));
}

Text Text::ofFile(std::shared_ptr<const FileSource> file)
{
    const qint64 size = file->size();
    return Text().appended(Piece::inFile(std::move(file), 0, size));
}

std::vector<Piece> Text::pieces() const
{
    std::vector<Piece> inOrder;
    for (const PieceNode *node : piecesInOrder())
        inOrder.push_back(node->piece);
    return inOrder;
}

qint64 Text::size() const
{
    return lengthOf(root);
}

qint64 Text::pieceCount() const
{
    return root ? root->pieces : 0;
}

int Text::depth() const
{
    const auto depthOf = [](const auto &self, const PieceNode *node) -> int {
        return node ? 1 + std::max(self(self, node->left.get()), self(self, node->right.get())) : 0;
    };
    return depthOf(depthOf, root.get());
}

char Text::at(qint64 offset) const
{
    Q_ASSERT(offset >= 0 && offset < size());
    const PieceNode *node = root.get();
    for (;;) {
        const qint64 leftLength = lengthOf(node->left);
        if (offset < leftLength) {
            node = node->left.get();
            continue;
        }
        offset -= leftLength;
        if (offset < node->piece.length) {
            const Piece &piece = node->piece;
            if (piece.buffer)
                return piece.buffer->data()[piece.start + offset];
            const qint64 at = piece.start + offset;
            const qint64 pageSize = piece.file->pageSize();
            return piece.file->page(at / pageSize)->bytes[size_t(at % pageSize)];
        }
        offset -= node->piece.length;
        node = node->right.get();
    }
}

QByteArray Text::bytes(qint64 from, qint64 to) const
{
    from = std::clamp<qint64>(from, 0, size());
    to = std::clamp<qint64>(to, from, size());
    QByteArray copy(to - from, Qt::Uninitialized);
    char *out = copy.data();
    TextSpans::forEach(*this, from, to, [&out](QByteArrayView span) {
        std::memcpy(out, span.data(), size_t(span.size()));
        out += span.size();
        return true;
    });
    return copy;
}

Text Text::inserted(qint64 offset, const Piece &piece) const
{
    Q_ASSERT(offset >= 0 && offset <= size());
    if (piece.length == 0)
        return *this;
    auto [before, after] = split(root, offset);
    // Bytes typed one after another land one after another in their buffer: the piece before
    // them grows instead of the tree.
    if (before) {
        const Piece &last = lastPiece(before.get());
        if (last.buffer && last.buffer == piece.buffer && last.start + last.length == piece.start)
            return Text(merge(withLastPieceExtended(before, piece.length), after));
    }
    return Text(merge(merge(before, leaf(piece)), after));
}

Text Text::inserted(qint64 offset, const Text &other) const
{
    Q_ASSERT(offset >= 0 && offset <= size());
    // The other text's pieces get leaves of fresh priorities: nodes of its own would tie with
    // themselves when one text is inserted many times, and ties build chains.
    NodePtr fresh;
    for (const PieceNode *node : other.piecesInOrder())
        fresh = merge(fresh, leaf(node->piece));
    auto [before, after] = split(root, offset);
    return Text(merge(merge(before, fresh), after));
}

Text Text::sliced(qint64 from, qint64 to) const
{
    from = std::clamp<qint64>(from, 0, size());
    to = std::clamp<qint64>(to, from, size());
    auto [before, rest] = split(root, from);
    return Text(split(rest, to - from).first);
}

std::vector<const PieceNode *> Text::piecesInOrder() const
{
    std::vector<const PieceNode *> nodes;
    nodes.reserve(size_t(pieceCount()));
    std::vector<const PieceNode *> pending;
    for (const PieceNode *node = root.get(); node || !pending.empty();) {
        for (; node; node = node->left.get())
            pending.push_back(node);
        node = pending.back();
        pending.pop_back();
        nodes.push_back(node);
        node = node->right.get();
    }
    return nodes;
}

Text Text::removed(qint64 from, qint64 to) const
{
    from = std::clamp<qint64>(from, 0, size());
    to = std::clamp<qint64>(to, from, size());
    if (from == to)
        return *this;
    auto [before, rest] = split(root, from);
    auto [gone, after] = split(rest, to - from);
    return Text(merge(before, after));
}

namespace {

// A read of a file piece goes past its page cache when the whole read is longer than this many
// pages, a chunk of at most pastCacheChunk bytes at a time: small enough to stay in the
// processor's cache between the read and the scan that follows it.
constexpr qint64 pastCacheFromPages = 2;
constexpr qint64 pastCacheChunk = qint64(256) << 10;

} // namespace

TextSpans::TextSpans(const Text &text, qint64 from, qint64 to)
    : text(text)
{
    from = std::clamp<qint64>(from, 0, text.size());
    left = std::clamp<qint64>(to, from, text.size()) - from;
    range = left;
    for (const PieceNode *node = text.root.get(); node;) {
        const qint64 leftLength = lengthOf(node->left);
        if (from < leftLength) {
            pending.push_back(node);
            node = node->left.get();
            continue;
        }
        from -= leftLength;
        if (from < node->piece.length) {
            current = node;
            skip = from;
            descendLeftmost(node->right.get());
            return;
        }
        from -= node->piece.length;
        node = node->right.get();
    }
}

TextSpans::~TextSpans() = default;

void TextSpans::descendLeftmost(const PieceNode *node)
{
    for (; node; node = node->left.get())
        pending.push_back(node);
}

QByteArrayView TextSpans::next()
{
    if (left == 0)
        return {};
    if (current && skip == current->piece.length)
        current = nullptr;
    if (!current) {
        if (pending.empty())
            return {};
        current = pending.back();
        pending.pop_back();
        skip = 0;
        descendLeftmost(current->right.get());
    }
    const Piece &piece = current->piece;
    const qint64 length = std::min(piece.length - skip, left);
    const QByteArrayView span =
        piece.buffer ? QByteArrayView(piece.buffer->data() + piece.start + skip, length)
                     : nextOfFile(piece, length);
    skip += span.size();
    left -= span.size();
    return span;
}

QByteArrayView TextSpans::nextOfFile(const Piece &piece, qint64 length)
{
    const qint64 at = piece.start + skip;
    if (range > pastCacheFromPages * piece.file->pageSize()) {
        if (!chunk)
            chunk.reset(new char[size_t(pastCacheChunk)]);
        const qint64 count = std::min(length, pastCacheChunk);
        piece.file->readPastCache(at, chunk.get(), count);
        return {chunk.get(), count};
    }
    const qint64 pageSize = piece.file->pageSize();
    page = piece.file->page(at / pageSize);
    const qint64 within = at % pageSize;
    return {page->bytes.get() + within, std::min(length, page->size - within)};
}
