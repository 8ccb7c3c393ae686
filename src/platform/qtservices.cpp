#include "qtservices.h"
#include "byteview.h"
#include "fileio.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QScreen>

#include <vector>

namespace {

// Tells the file dialogs each listed file's type and icon from its name alone. Qt's own provider
// reads the start of every listed file to guess its type, on the window's thread, and a read of
// some files does not return until they have something to tell (/proc/kmsg, for one).
class NameOnlyIconProvider final : public QFileIconProvider
{
public:
    QIcon icon(const QFileInfo &info) const override
    {
        return QIcon::fromTheme(typeOf(info).iconName(),
                                QFileIconProvider::icon(info.isDir() ? Folder : File));
    }

    QString type(const QFileInfo &info) const override
    {
        if (!info.isFile())
            return QFileIconProvider::type(info);
        const QMimeType mime = typeOf(info);
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }

private:
    QMimeType typeOf(const QFileInfo &info) const
    {
        return types.mimeTypeForFile(info, QMimeDatabase::MatchExtension);
    }

    QMimeDatabase types;
};

// Shows the busy cursor while the work of a file dialog's choice goes on.
class BusyCursor
{
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

} // namespace

QtServices::QtServices(const ViewControls &controls)
    : view(controls)
{
    view.window->installEventFilter(this);
    keepRunningBeyondFileSizeLimit();
}

bool QtServices::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view.window && event->type() == QEvent::Close)
        windowClosed = true;
    return false;
}

Text QtServices::viewText()
{
    return view.text1->editor().text();
}

QString QtServices::loadViewText(const QString &path, std::function<void(FileTrouble)> onTrouble)
{
    const BusyCursor busy;
    FileReading how;
    how.onTrouble = std::move(onTrouble);
    Text text;
    const QString error = readFile(path, text, how);
    if (error.isEmpty())
        view.text1->editor().setText(text);
    return error;
}

void QtServices::select(qint64 offset, qint64 length)
{
    view.text1->editor().select(offset, length);
}

void QtServices::focusView()
{
    view.text1->setFocus(Qt::OtherFocusReason);
}

void QtServices::setCaption(Control control, const QString &caption)
{
    // Unchanged captions are left alone so that nothing is repainted for them.
    switch (control) {
    case Control::lblStat:
        if (view.lblStat->text() != caption)
            view.lblStat->setText(caption);
        break;
    case Control::lblPosition:
        if (view.lblPosition->text() != caption)
            view.lblPosition->setText(caption);
        break;
    case Control::Command3:
        if (view.Command3->text() != caption)
            view.Command3->setText(caption);
        break;
    }
}

bool QtServices::showFileDialog(bool saving)
{
    // Made first, so that it outlives the dialog's view of the folders.
    NameOnlyIconProvider icons;
    QFileDialog dialog(view.window);
    dialog.setObjectName(QStringLiteral("cd1"));
    // Qt's own dialog, since a native one takes no icon provider.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!cd1FileName.isEmpty())
        dialog.selectFile(cd1FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    cd1FileName = dialog.selectedFiles().constFirst();
    return true;
}

bool QtServices::showOpenDialog()
{
    return showFileDialog(false);
}

bool QtServices::showSaveDialog()
{
    return showFileDialog(true);
}

QString QtServices::dialogFileName() const
{
    return cd1FileName;
}

void QtServices::showMessage(const QString &message)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Korvane"), message, QMessageBox::Ok,
                    view.window);
    box.exec();
}

void QtServices::showMessageLater(const QString &message)
{
    // Queued on the window, so that a message still waiting when it closes is never shown.
    QMetaObject::invokeMethod(
        view.window, [this, message] { showMessage(message); }, Qt::QueuedConnection);
}

QString QtServices::shortenedPath(const QString &path) const
{
    // The box cannot wrap a path without blanks or slashes, and grows with it. A third of the
    // screen keeps the path and the words after it on one line of a box that fits the screen.
    const QFontMetrics metrics(QApplication::font("QMessageBox"));
    return metrics.elidedText(path, Qt::ElideMiddle,
                              view.window->screen()->availableGeometry().width() / 3);
}

std::optional<QString> QtServices::prompt(const QString &prompt, const QString &title)
{
    QInputDialog dialog(view.window);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

bool QtServices::pumpEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !windowClosed;
}

QString QtServices::writeFile(const QString &path, const Text &text)
{
    const BusyCursor busy;
    return writeWholeFile(path, text);
}
