#pragma once

#include "byteeditor.h"

#include <QMetaEnum>
#include <QTest>

/// Runs `commands`, words between blanks, on `editor`: a step's name moves the caret
/// (`NextWord`), extends the selection after a `+` (`+RowEnd`) and erases after a `-`
/// (`-PreviousChar`); a word in quotes is typed (`'ab'`); `Ins` toggles overwrite mode;
/// `Undo`, `Redo` and `Cut` do what they say.
inline void runCommands(ByteEditor &editor, const QString &commands)
{
    for (const QString &command : commands.split(u' ', Qt::SkipEmptyParts)) {
        if (command.startsWith(u'\'')) {
            editor.type(command.sliced(1, command.size() - 2));
        } else if (command == u"Ins") {
            editor.setOverwriteMode(!editor.overwriteMode());
        } else if (command == u"Undo") {
            editor.undo();
        } else if (command == u"Redo") {
            editor.redo();
        } else if (command == u"Cut") {
            (void)editor.cut();
        } else {
            const bool extend = command.startsWith(u'+');
            const bool erase = command.startsWith(u'-');
            bool known = false;
            const auto step = ByteEditor::Step(QMetaEnum::fromType<ByteEditor::Step>().keyToValue(
                command.sliced(extend || erase ? 1 : 0).toLatin1(), &known));
            QVERIFY2(known, qPrintable(command));
            erase ? editor.erase(step) : editor.move(step, extend);
        }
    }
}
