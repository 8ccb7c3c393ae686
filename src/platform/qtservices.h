#pragma once

#include "services.h"

#include <QObject>

class ByteView;
class QAbstractButton;
class QLabel;
class QWidget;

// The controls of the window that the commands work on.
struct ViewControls
{
    QWidget *window;
    ByteView *text1;
    QLabel *lblStat;
    QLabel *lblPosition;
    QAbstractButton *Command3;
};

// The services over Qt widgets, Qt's dialogs and the file system.
class QtServices : public QObject, public Services
{
    Q_OBJECT

public:
    explicit QtServices(const ViewControls &controls);

    Text viewText() override;
    QString loadViewText(const QString &path, std::function<void(FileTrouble)> onTrouble) override;
    void select(qint64 offset, qint64 length) override;
    void focusView() override;
    void setCaption(Control control, const QString &caption) override;

    bool showOpenDialog() override;
    bool showSaveDialog() override;
    QString dialogFileName() const override;

    void showMessage(const QString &message) override;
    void showMessageLater(const QString &message) override;
    QString shortenedPath(const QString &path) const override;
    std::optional<QString> prompt(const QString &prompt, const QString &title) override;
    bool pumpEvents() override;

    QString writeFile(const QString &path, const Text &text) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    const ViewControls &controls() const { return view; }
    /// Records the file the user chose in either dialog.
    void setDialogFileName(const QString &fileName) { cd1FileName = fileName; }

private:
    bool showFileDialog(bool saving);

    ViewControls view;
    QString cd1FileName;
    bool windowClosed = false;
};
