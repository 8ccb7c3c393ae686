#include "form1.h"
#include "byteview.h"
#include "qtservices.h"
#include "scancommands.h"
#include "transfercommands.h"

#include <QAccessibleWidget>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace {

template <typename Control>
Control *makeControl(QWidget *container, const char *name, const QRect &geometry)
{
    auto *control = new Control(container);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    return control;
}

// The captions must fit whole inside the fixed controls; a condensed face does that at a size
// that still reads well. The position label needs room for ten-digit counts.
QFont captionFont(int pixelSize)
{
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setPixelSize(pixelSize);
    return font;
}

// Screen readers find the window as a frame, whose name is its title, and the strip as its
// status bar.
QAccessibleInterface *accessibleWindowPart(const QString &className, QObject *object)
{
    if (className == QLatin1String(Form1::staticMetaObject.className()))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    if (className == QLatin1String(StatusStrip::staticMetaObject.className()))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::StatusBar);
    return nullptr;
}

QPushButton *makeButton(QWidget *window, const char *name, const QString &caption,
                        const QRect &geometry)
{
    auto *button = makeControl<QPushButton>(window, name, geometry);
    button->setText(caption);
    return button;
}

} // namespace

// Every control sits at a fixed place, in pixels at 96 dots per inch; the
// window keeps its size, since nothing in it would follow a larger one.
Form1::Form1(const ServicesFactory &makeServices)
    : Label1(makeControl<QLabel>(this, "Label1", QRect(0, 0, 145, 17)))
    , text1(makeControl<ByteView>(this, "text1", QRect(0, 16, 609, 417)))
    , Command1(makeButton(this, "Command1", QStringLiteral("Open A File To Edit"),
                          QRect(0, 432, 161, 25)))
    , Command3(
          makeButton(this, "Command3", QStringLiteral("Find Path Name"), QRect(160, 432, 137, 25)))
    , Command4(makeButton(this, "Command4", QStringLiteral("Search For Legible Text"),
                          QRect(296, 432, 145, 25)))
    , Command2(
          makeButton(this, "Command2", QStringLiteral("Save The File"), QRect(440, 432, 169, 25)))
    , Picture1(makeControl<StatusStrip>(this, "Picture1", QRect(0, 456, 609, 25)))
    , lblStat(makeControl<QLabel>(Picture1, "lblStat", QRect(0, 0, 145, 17)))
    , lblPosition(makeControl<QLabel>(Picture1, "lblPosition", QRect(176, 0, 177, 17)))
{
    static const bool accessibleWindowPartsInstalled = [] {
        QAccessible::installFactory(accessibleWindowPart);
        return true;
    }();
    Q_UNUSED(accessibleWindowPartsInstalled);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Korvane"));
    setWindowIcon(QIcon(QStringLiteral(":/korvane/korvane.png")));
    setFixedSize(609, 481);
    setFont(captionFont(11));
    lblPosition->setFont(captionFont(10));
    Label1->setText(QStringLiteral("The Programs Binary As Text:"));
    // The caption names the view for screen readers.
    Label1->setBuddy(text1);
    lblStat->setText(QStringLiteral("Idel"));

    // Command1 opens the tab order and so holds the focus at start.
    setTabOrder(Command1, text1);
    setTabOrder(text1, Command2);
    setTabOrder(Command2, Command3);
    setTabOrder(Command3, Command4);
    Command1->setFocus();

    const ViewControls controls{this, text1, lblStat, lblPosition, Command3};
    services = makeServices ? makeServices(controls) : std::make_unique<QtServices>(controls);

    connect(Command1, &QPushButton::clicked, this, &Form1::onCommand1Clicked);
    connect(Command2, &QPushButton::clicked, this, &Form1::onCommand2Clicked);
    connect(Command3, &QPushButton::clicked, this, &Form1::onCommand3Clicked);
    connect(Command4, &QPushButton::clicked, this, &Form1::onCommand4Clicked);
    connect(text1, &ByteView::refused, this,
            [this](const QString &reason) { services->showMessage(reason); });
}

Form1::~Form1() = default;

void Form1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // Nothing moves on a resize; the window only lets pending events run.
    if (services)
        (void)services->pumpEvents();
}

void Form1::onCommand1Clicked()
{
    loadFile(*services);
}

void Form1::onCommand2Clicked()
{
    saveFile(*services);
}

void Form1::onCommand3Clicked()
{
    findPathName(*services, pathPos);
}

void Form1::onCommand4Clicked()
{
    searchForText(*services, searchPos);
}
