#pragma once

#include "scriptedwindow.h"

#include <functional>
#include <optional>

class ByteView;
class QLabel;

// How one or more clicks went, in nanoseconds: how long they took, and how long the window's
// events waited at most while they ran.
struct ClickTiming
{
    qint64 elapsed = 0; ///< Summed over the clicks.
    qint64 inPumps = 0; ///< Summed over the clicks: the part of `elapsed` spent handling events.
    qint64 longestWithoutPump = 0; ///< Also counting from a click to its first pump and from its
                                   ///< last pump to its end.
    qint64 lastStart = 0;          ///< When the last click began, on the steady clock.
};

// The real window, shown on the offscreen platform, over scripted services that pace their
// pumps as the real ones do and answer every dialog and prompt of a click at once.
class BenchWindow
{
public:
    BenchWindow();

    ScriptedServices &services() const { return *scripted.services; }
    Form1 &form() const { return *scripted.form; }
    ByteView *text1() const { return scripted.text1(); }
    QLabel *label(const char *name) const { return scripted.label(name); }
    /// Whether the view's text reads a file on demand, rather than holding all its bytes.
    bool viewReadsOnDemand() const;

    /// The file each open or save dialog chooses.
    QString fileToChoose;
    /// The text each search prompt is answered with.
    QString textToType;
    /// When the last prompt was shown, in nanoseconds on the steady clock.
    std::optional<qint64> promptedAt;

    /// Clicks `button` with the mouse until `finished` holds, failing after `maxClicks` clicks.
    ClickTiming clickUntil(const char *button, const std::function<bool()> &finished,
                           int maxClicks);
    /// Opens `path` through "Open A File To Edit", failing unless the view then holds all
    /// `size` bytes of it.
    ClickTiming load(const QString &path, qint64 size);

private:
    ScriptedWindow scripted;
};
