#include "scriptedwindow.h"
#include "byteview.h"
#include "filebytes.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

ScriptedWindow::ScriptedWindow()
{
    form = std::make_unique<Form1>([this](const ViewControls &controls) {
        auto scripted = std::make_unique<ScriptedServices>(controls);
        services = scripted.get();
        return scripted;
    });
    form->show();
}

ByteView *ScriptedWindow::text1() const
{
    return form->findChild<ByteView *>(QStringLiteral("text1"));
}

QLabel *ScriptedWindow::label(const char *name) const
{
    return form->findChild<QLabel *>(QLatin1String(name));
}

QPushButton *ScriptedWindow::button(const char *name) const
{
    return form->findChild<QPushButton *>(QLatin1String(name));
}

QString ScriptedWindow::caption(const char *name) const
{
    if (const QPushButton *b = button(name))
        return b->text();
    return label(name)->text();
}

void ScriptedWindow::click(const char *name) const
{
    QTest::mouseClick(button(name), Qt::LeftButton);
}

void ScriptedWindow::load(const QTemporaryDir &dir, const QByteArray &bytes,
                          const QString &name) const
{
    const QString path = dir.filePath(name.isEmpty() ? QStringLiteral("loaded.bin") : name);
    QCOMPARE(writeBytes(path, bytes), QString());
    services->dialogAnswers.push_back(path);
    click("Command1");
}

QByteArray ScriptedWindow::text() const
{
    return text1()->editor().text().toByteArray();
}

bool ScriptedWindow::closesDuring(const char *name) const
{
    int pumps = 0;
    services->onPump = [this, &pumps] {
        if (++pumps == 2)
            form->close();
    };
    QTimer::singleShot(0, form.get(), [this, name] { click(name); });
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(1); });
    return QCoreApplication::exec() == 0 && pumps == 2;
}
