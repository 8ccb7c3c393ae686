#pragma once

#include <QWidget>

#include <functional>
#include <memory>

class ByteView;
class QLabel;
class QPushButton;
class Services;
struct ViewControls;

// The strip along the window's foot that holds the status labels; screen readers find it as the
// window's status bar.
class StatusStrip final : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;
};

// Korvane's one window: the text view, the four command buttons, the status strip, and the two
// cursors at which the scans resume.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    using ServicesFactory = std::function<std::unique_ptr<Services>(const ViewControls &)>;

    /// Builds the window over the services `makeServices` returns (Qt's own when empty).
    explicit Form1(const ServicesFactory &makeServices = {});
    ~Form1() override;

    // 1-based positions at which the next drive-path scan and text search resume; 0 starts a
    // scan at the beginning. Nested runs of a scan started from its event pumps move the same
    // cursor, which the interrupted run then goes on from.
    qint64 pathPos = 0;
    qint64 searchPos = 0;

protected:
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void onCommand1Clicked();
    void onCommand2Clicked();
    void onCommand3Clicked();
    void onCommand4Clicked();

private:
    QLabel *Label1;
    ByteView *text1;
    QPushButton *Command1;
    QPushButton *Command3;
    QPushButton *Command4;
    QPushButton *Command2;
    StatusStrip *Picture1;
    QLabel *lblStat;
    QLabel *lblPosition;
    std::unique_ptr<Services> services;
};
