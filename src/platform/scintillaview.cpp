#include "scintillaview.h"
#include "viewaccessible.h"

#include <QFontDatabase>

#include <array>
#include <new>
#include <sys/sysinfo.h>

namespace {

// Names for the C1 control bytes 0x80-0x9F, which fonts draw as empty boxes or not at all.
constexpr std::array<const char *, 32> c1Names = {
    "PAD", "HOP", "BPH", "NBH",  "IND", "NEL", "SSA", "ESA", "HTS", "HTJ", "VTS",
    "PLD", "PLU", "RI",  "SS2",  "SS3", "DCS", "PU1", "PU2", "STS", "CCH", "MW",
    "SPA", "EPA", "SOS", "SGCI", "SCI", "CSI", "ST",  "OSC", "PM",  "APC"};

// Bytes the text view would otherwise draw like another byte, or as nothing.
struct Representation
{
    char byte;
    const char *name;
};
constexpr std::array<Representation, 3> lookalikes = {{
    {'\x7f', "DEL"},                   // else an empty box
    {static_cast<char>(0xa0), "NBSP"}, // else a blank, like 0x20
    {static_cast<char>(0xad), "SHY"},  // else an invisible soft hyphen
}};

} // namespace

ScintillaView::ScintillaView(QWidget *parent)
    : QsciScintilla(parent)
{
    installViewAccessible();
    configureView();
    configureDocument();
}

void ScintillaView::configureView()
{
    setUtf8(false);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setWrapMode(WrapNone);
    setEolVisibility(true);
    // A tab is drawn as an arrow, so that it cannot pass for blanks; the dots visible white space
    // would put on every blank are made invisible.
    setWhitespaceVisibility(WsVisible);
    setWhitespaceSize(0);
    for (int margin = 0; margin < 5; ++margin)
        setMarginWidth(margin, 0);
    SendScintilla(SCI_SETSCROLLWIDTH, 1);
    SendScintilla(SCI_SETSCROLLWIDTHTRACKING, 1);
    // Modification notifications that come with inserted or deleted text make the widget copy
    // that text into a QString, which costs as much as the whole file when one is loaded. A
    // notification is sent when any of its bits is in the mask, so only the kinds that never
    // carry text stay in it.
    SendScintilla(SCI_SETMODEVENTMASK,
                  static_cast<unsigned long>(
                      SC_MOD_CHANGESTYLE | SC_MOD_CHANGEFOLD | SC_MOD_CHANGEMARKER |
                      SC_MOD_CHANGEINDICATOR | SC_MOD_CHANGELINESTATE | SC_MOD_CHANGEMARGIN |
                      SC_MOD_CHANGEANNOTATION | SC_MOD_LEXERSTATE | SC_MOD_CHANGETABSTOPS));
}

void ScintillaView::configureDocument()
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

QByteArrayView ScintillaView::bytes() const
{
    const auto *text = reinterpret_cast<const char *>(SendScintilla(SCI_GETCHARACTERPOINTER));
    return QByteArrayView(text, length());
}

qint64 ScintillaView::length() const
{
    return SendScintilla(SCI_GETLENGTH);
}

QByteArray ScintillaView::bytesBetween(qint64 start, qint64 end) const
{
    start = qBound<qint64>(0, start, length());
    end = qBound<qint64>(start, end, length());
    QByteArray range(end - start + 1, Qt::Uninitialized);
    SendScintilla(SCI_GETTEXTRANGE, start, end, range.data());
    range.chop(1);
    return range;
}

bool ScintillaView::setBytes(QByteArrayView text)
{
    Replacement replacement(*this);
    if (!replacement.reserve(text.size()) || !replacement.append(text))
        return false;
    replacement.commit();
    return true;
}

// The new text goes into a new document, so that a failure leaves the old one in place; the new
// one holds no styles (nothing is highlighted) and may exceed 2 GiB.
ScintillaView::Replacement::Replacement(ScintillaView &view)
    : view(view)
    , oldDocument(view.SendScintilla(SCI_GETDOCPOINTER))
{
    view.SendScintilla(SCI_ADDREFDOCUMENT, 0, oldDocument);
    const long document =
        view.SendScintilla(SCI_CREATEDOCUMENT, 0ul,
                           long(SC_DOCUMENTOPTION_STYLES_NONE | SC_DOCUMENTOPTION_TEXT_LARGE));
    view.SendScintilla(SCI_SETDOCPOINTER, 0, document);
    view.SendScintilla(SCI_RELEASEDOCUMENT, 0, document);
    view.configureDocument();
    view.SendScintilla(SCI_SETUNDOCOLLECTION, 0);
}

ScintillaView::Replacement::~Replacement()
{
    if (committed) {
        view.SendScintilla(SCI_RELEASEDOCUMENT, 0, oldDocument);
        return;
    }
    view.SendScintilla(SCI_SETSTATUS, SC_STATUS_OK);
    view.SendScintilla(SCI_SETDOCPOINTER, 0, oldDocument);
    view.SendScintilla(SCI_RELEASEDOCUMENT, 0, oldDocument);
    view.configureDocument();
}

bool ScintillaView::Replacement::succeeded() const
{
    return view.SendScintilla(SCI_GETSTATUS) == SC_STATUS_OK;
}

// What the user can type or paste into a loaded text before its buffer has to grow.
constexpr qint64 editingRoom = qint64(1) << 20;

// The widget lets std::bad_alloc through where a failed allocation throws, and reports it in its
// status where it catches it itself; either way the new document is dropped whole.
bool ScintillaView::Replacement::reserve(qint64 size)
{
    // A text larger than memory and swap together could never be held; asking for it anyway
    // would only drive the machine into swapping first.
    struct sysinfo memory = {};
    if (::sysinfo(&memory) == 0 &&
        quint64(size) > (quint64(memory.totalram) + memory.totalswap) * memory.mem_unit)
        return false;
    try {
        // Room beyond the text: the buffer grows by copying the whole text once its gap is full,
        // and without room the first keystroke after loading would do that.
        view.SendScintilla(SCI_ALLOCATE, static_cast<unsigned long>(size + editingRoom));
    } catch (const std::bad_alloc &) {
        return false;
    }
    return succeeded();
}

bool ScintillaView::Replacement::append(QByteArrayView bytes)
{
    const qint64 before = view.length();
    try {
        view.SendScintilla(SCI_APPENDTEXT, static_cast<uintptr_t>(bytes.size()), bytes.data());
    } catch (const std::bad_alloc &) {
        return false;
    }
    return succeeded() && view.length() == before + bytes.size();
}

void ScintillaView::Replacement::commit()
{
    committed = true;
    view.SendScintilla(SCI_SETUNDOCOLLECTION, 1);
    view.SendScintilla(SCI_EMPTYUNDOBUFFER);
    view.SendScintilla(SCI_SETSAVEPOINT);
    view.SendScintilla(SCI_GOTOPOS, 0);
}

void ScintillaView::select(qint64 offset, qint64 count)
{
    const qint64 start = qBound<qint64>(0, offset, length());
    const qint64 end = qBound<qint64>(start, start + qMax<qint64>(count, 0), length());
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(start), long(end));
}

qint64 ScintillaView::caretOffset() const
{
    return SendScintilla(SCI_GETCURRENTPOS);
}

qint64 ScintillaView::anchorOffset() const
{
    return SendScintilla(SCI_GETANCHOR);
}

qint64 ScintillaView::selectionStart() const
{
    return SendScintilla(SCI_GETSELECTIONSTART);
}

qint64 ScintillaView::selectionEnd() const
{
    return SendScintilla(SCI_GETSELECTIONEND);
}

QByteArray ScintillaView::representation(char byte) const
{
    const char key[2] = {byte, '\0'};
    QByteArray name(32, '\0');
    const long size = SendScintilla(SCI_GETREPRESENTATION, key, name.data());
    name.truncate(size);
    return name;
}
