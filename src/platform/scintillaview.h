#pragma once

#include "fileio.h"

#include <Qsci/qsciscintilla.h>

#include <QByteArray>
#include <QByteArrayView>

// Receives a file's bytes as they are read.
class ByteSink
{
public:
    virtual ~ByteSink() = default;
    virtual bool reserve(qint64 size) = 0;
    virtual bool append(QByteArrayView bytes) = 0;
};

// The editable view of a file's bytes: one character per byte, every byte visible and
// distinguishable, and no work proportional to the text's size on a keystroke or a scroll.
class ScintillaView : public QsciScintilla
{
    Q_OBJECT

public:
    explicit ScintillaView(QWidget *parent = nullptr);

    /// The whole text; valid until the text next changes.
    QByteArrayView bytes() const;
    qint64 length() const;
    QByteArray bytesBetween(qint64 start, qint64 end) const;
    /// Replaces the whole text with `text`; false (and the old text kept) when memory runs out.
    bool setBytes(QByteArrayView text);

    // A new whole text for the view, filled piece by piece. The view shows it from the start,
    // but unless it is committed the old text comes back when the replacement ends.
    class Replacement final : public ByteSink
    {
    public:
        explicit Replacement(ScintillaView &view);
        ~Replacement() override;
        Replacement(const Replacement &) = delete;
        Replacement &operator=(const Replacement &) = delete;

        bool reserve(qint64 size) override;
        bool append(QByteArrayView bytes) override;
        /// Keeps the new text, which cannot be undone.
        void commit();

    private:
        bool succeeded() const;

        ScintillaView &view;
        long oldDocument;
        bool committed = false;
    };

    /// Selects `count` bytes from `offset`, both clamped to the text, and shows the selection.
    void select(qint64 offset, qint64 count);
    qint64 caretOffset() const;
    qint64 anchorOffset() const;
    qint64 selectionStart() const;
    qint64 selectionEnd() const;
    /// The representation drawn for `byte` in place of its glyph; empty when it has none.
    QByteArray representation(char byte) const;

private:
    void configureDocument();
    void configureView();
};
