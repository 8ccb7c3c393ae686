#include "byteview.h"
#include "viewaccessible.h"

#include <QFontDatabase>

#include <array>

namespace {

// Names for the C1 control bytes 0x80-0x9F, which fonts draw as empty boxes or not at all.
constexpr std::array<const char *, 32> c1Names = {
    "PAD", "HOP", "BPH", "NBH", "IND", "NEL", "SSA", "ESA", "HTS", "HTJ", "VTS",
    "PLD", "PLU", "RI",  "SS2", "SS3", "DCS", "PU1", "PU2", "STS", "CCH", "MW",
    "SPA", "EPA", "SOS", "SGCI", "SCI", "CSI", "ST", "OSC", "PM",  "APC"};

// Bytes the text view would otherwise draw like another byte, or as nothing.
struct Representation
{
    char byte;
    const char *name;
};
constexpr std::array<Representation, 4> lookalikes = {{
    {'\t', "HT"},                    // else blank space, like a run of blanks
    {'\x7f', "DEL"},                 // else an empty box
    {static_cast<char>(0xa0), "NBSP"}, // else a blank, like 0x20
    {static_cast<char>(0xad), "SHY"},  // else an invisible soft hyphen
}};

} // namespace

ByteView::ByteView(QWidget *parent)
    : QsciScintilla(parent)
{
    installViewAccessible();
    configureView();
    configureDocument();
}

void ByteView::configureView()
{
    setUtf8(false);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setWrapMode(WrapNone);
    setEolVisibility(true);
    for (int margin = 0; margin < 5; ++margin)
        setMarginWidth(margin, 0);
    SendScintilla(SCI_SETSCROLLWIDTH, 1);
    SendScintilla(SCI_SETSCROLLWIDTHTRACKING, 1);
    // Insert and delete notifications make the widget copy the changed text into a QString on
    // every edit, which costs as much as the whole text when a file is loaded.
    SendScintilla(SCI_SETMODEVENTMASK,
                  static_cast<unsigned long>(SC_MODEVENTMASKALL & ~(SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT)));
}

void ByteView::configureDocument()
{
    // Code page 0 keeps the document a plain byte buffer: one character per byte, nothing
    // decoded or replaced. Representations belong to the view but follow the code page.
    SendScintilla(SCI_SETCODEPAGE, 0);
    for (std::size_t i = 0; i < c1Names.size(); ++i) {
        const char byte[2] = {static_cast<char>(0x80 + i), '\0'};
        SendScintilla(SCI_SETREPRESENTATION, byte, c1Names[i]);
    }
    for (const Representation &lookalike : lookalikes) {
        const char byte[2] = {lookalike.byte, '\0'};
        SendScintilla(SCI_SETREPRESENTATION, byte, lookalike.name);
    }
}

QByteArrayView ByteView::bytes() const
{
    const auto *text = reinterpret_cast<const char *>(SendScintilla(SCI_GETCHARACTERPOINTER));
    return QByteArrayView(text, length());
}

qint64 ByteView::length() const
{
    return SendScintilla(SCI_GETLENGTH);
}

QByteArray ByteView::bytesBetween(qint64 start, qint64 end) const
{
    start = qBound<qint64>(0, start, length());
    end = qBound<qint64>(start, end, length());
    QByteArray range(end - start + 1, Qt::Uninitialized);
    SendScintilla(SCI_GETTEXTRANGE, start, end, range.data());
    range.chop(1);
    return range;
}

bool ByteView::setBytes(QByteArray text)
{
    // The text goes into a new document so that a failure leaves the old one in place; the new
    // one holds no styles (nothing is highlighted) and may exceed 2 GiB.
    const long oldDocument = SendScintilla(SCI_GETDOCPOINTER);
    const long document = SendScintilla(
        SCI_CREATEDOCUMENT, static_cast<unsigned long>(text.size()),
        long(SC_DOCUMENTOPTION_STYLES_NONE | SC_DOCUMENTOPTION_TEXT_LARGE));
    if (document == 0)
        return false;
    SendScintilla(SCI_ADDREFDOCUMENT, 0, oldDocument);
    SendScintilla(SCI_SETDOCPOINTER, 0, document);
    SendScintilla(SCI_RELEASEDOCUMENT, 0, document);
    configureDocument();
    SendScintilla(SCI_SETUNDOCOLLECTION, 0);
    SendScintilla(SCI_APPENDTEXT, static_cast<uintptr_t>(text.size()), text.constData());
    const bool complete = SendScintilla(SCI_GETSTATUS) == SC_STATUS_OK && length() == text.size();
    text = QByteArray();
    if (!complete) {
        SendScintilla(SCI_SETSTATUS, SC_STATUS_OK);
        SendScintilla(SCI_SETDOCPOINTER, 0, oldDocument);
        SendScintilla(SCI_RELEASEDOCUMENT, 0, oldDocument);
        configureDocument();
        return false;
    }
    SendScintilla(SCI_RELEASEDOCUMENT, 0, oldDocument);
    SendScintilla(SCI_SETUNDOCOLLECTION, 1);
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    SendScintilla(SCI_SETSAVEPOINT);
    SendScintilla(SCI_GOTOPOS, 0);
    return true;
}

void ByteView::select(qint64 offset, qint64 count)
{
    const qint64 start = qBound<qint64>(0, offset, length());
    const qint64 end = qBound<qint64>(start, start + qMax<qint64>(count, 0), length());
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(start), long(end));
}

qint64 ByteView::caretOffset() const
{
    return SendScintilla(SCI_GETCURRENTPOS);
}

qint64 ByteView::anchorOffset() const
{
    return SendScintilla(SCI_GETANCHOR);
}

qint64 ByteView::selectionStart() const
{
    return SendScintilla(SCI_GETSELECTIONSTART);
}

qint64 ByteView::selectionEnd() const
{
    return SendScintilla(SCI_GETSELECTIONEND);
}

QByteArray ByteView::representation(char byte) const
{
    const char key[2] = {byte, '\0'};
    QByteArray name(32, '\0');
    const long size = SendScintilla(SCI_GETREPRESENTATION, key, name.data());
    name.truncate(size);
    return name;
}
