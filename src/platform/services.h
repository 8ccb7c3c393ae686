#pragma once

#include "text.h"

#include <QString>

#include <functional>
#include <optional>

// The controls whose captions the commands change.
enum class Control { lblStat, lblPosition, Command3 };

// How often a running scan lets pending window events run: it asks whether a pump is due at the
// first hundredth step at least `stretch` steps on, and pumps when at least `intervalMs` passed
// since its last pump. Pumping at every hundredth step would repaint the strip a million times
// over 100 MB, and a pump less than about 10 ms after the last finds nothing a user could
// notice; 2 Mi steps take well under 10 ms, so real pumps stay far below 50 ms apart.
struct PumpPacing
{
    qint64 stretch = qint64(1) << 21;
    qint64 intervalMs = 10;
};

// Everything the commands need of the window, its controls, the dialogs and the file system.
// The window implements it over Qt; tests script it. Text positions here are 0-based offsets.
class Services
{
public:
    virtual ~Services() = default;

    /// A snapshot of the view's whole text, one byte per character, which later edits leave
    /// alone; taking it costs O(1).
    virtual Text viewText() = 0;
    /// Makes the whole file at `path` the view's text; the reason in plain words when that
    /// fails, and the old text then stays. A large file is read on demand, and `onTrouble` hears
    /// once if it later changes on disk or can no longer be read.
    virtual QString loadViewText(const QString &path,
                                 std::function<void(FileTrouble)> onTrouble) = 0;
    /// Selects `length` characters from `offset`, both clamped to the current text.
    virtual void select(qint64 offset, qint64 length) = 0;
    /// Moves the keyboard focus to the view, so that its selection shows.
    virtual void focusView() = 0;
    virtual void setCaption(Control control, const QString &caption) = 0;

    /// Shows the modal open dialog; false when the user cancelled it.
    virtual bool showOpenDialog() = 0;
    /// Shows the modal save dialog; false when the user cancelled it.
    virtual bool showSaveDialog() = 0;
    /// The file last chosen in either dialog; empty until one was chosen.
    virtual QString dialogFileName() const = 0;

    /// Shows a modal box titled "Korvane" with one OK button and waits until it is dismissed.
    virtual void showMessage(const QString &message) = 0;
    /// Shows the message as showMessage does, once the events being handled now are done.
    virtual void showMessageLater(const QString &message) = 0;
    /// `path` shortened in the middle where it would make a message box wider than the screen.
    virtual QString shortenedPath(const QString &path) const = 0;
    /// Asks for a line of text; std::nullopt when the user cancelled.
    virtual std::optional<QString> prompt(const QString &prompt, const QString &title) = 0;
    /// Handles every pending window event; false once the window has been closed.
    [[nodiscard]] virtual bool pumpEvents() = 0;
    /// How a running scan paces its event pumps.
    virtual PumpPacing pumpPacing() const { return {}; }

    /// Writes `text` as the whole content of `path`, straight from where its bytes lie; the
    /// reason in plain words, or empty.
    virtual QString writeFile(const QString &path, const Text &text) = 0;
};
