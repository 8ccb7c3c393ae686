#pragma once

#include "benchservices.h"
#include "form1.h"

#include <functional>
#include <memory>

class ByteView;
class QLabel;

// How one or more clicks went, in nanoseconds: how long they took, and how long the window's
// events waited at most while they ran.
struct ClickTiming
{
    qint64 elapsed = 0; ///< Summed over the clicks.
    qint64 inPumps = 0; ///< Summed over the clicks: the part of `elapsed` spent handling events.
    qint64 longestGapBetweenPumps = 0;
    qint64 longestWithoutPump = 0; ///< Also counting from a click to its first pump and from its
                                   ///< last pump to its end.
};

// The real window, shown on the offscreen platform, over services that answer every dialog.
class BenchWindow
{
public:
    BenchWindow();

    BenchServices &services() const { return *benchServices; }
    Form1 &form() const { return *window; }
    ByteView *text1() const;
    QLabel *label(const char *name) const;

    /// Clicks `button` with the mouse until `finished` holds, failing after `maxClicks` clicks.
    ClickTiming clickUntil(const char *button, const std::function<bool()> &finished,
                           int maxClicks);
    /// Opens `path` through "Open A File To Edit", failing unless the view then holds all
    /// `size` bytes of it.
    ClickTiming load(const QString &path, qint64 size);

private:
    // Set while the window is built, so it comes first.
    BenchServices *benchServices = nullptr;
    std::unique_ptr<Form1> window;
};
