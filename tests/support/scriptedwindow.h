#pragma once

#include "form1.h"
#include "scriptedservices.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QLabel;
class QPushButton;
class QTemporaryDir;
class ByteView;

// The real window over scripted services, with its controls looked up by name.
struct ScriptedWindow
{
    ScriptedWindow();

    std::unique_ptr<Form1> form;
    ScriptedServices *services = nullptr;

    ByteView *text1() const;
    QLabel *label(const char *name) const;
    QPushButton *button(const char *name) const;
    QString caption(const char *name) const;

    /// Clicks a button with the mouse, as a user would.
    void click(const char *name) const;
    /// Loads `bytes` into the view through the open command, from a file in `dir`.
    void load(const QTemporaryDir &dir, const QByteArray &bytes, const QString &name = {}) const;
    /// The view's whole text.
    QByteArray text() const;
    /// Clicks `name` from the event loop and closes the window at the second pump; whether the
    /// program then ended by itself, there.
    bool closesDuring(const char *name) const;
};
