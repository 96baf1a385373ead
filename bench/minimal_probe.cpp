// SPDX-License-Identifier: MIT
// The bare programs the game is measured beside, watched from outside as
// the game is.
//
//   minimal_probe      a plain Qt Widgets window "Minimal", 600 x 420, until
//                      stopped: the baseline for start-up, memory and idle
//                      wake-ups
//   minimal_probe map  the baseline for the result window: a window "Zib!"
//                      with a button where Start is; 1073 ms after the
//                      moment a press on it was made (as a Very Hard outcome
//                      comes), it shows an already made hidden window the
//                      size and colour of the win window, and hides it a
//                      second later
#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <functional>
#include <sys/timerfd.h>
#include <unistd.h>

#include "duel/frmzib.h"
#include "forms/qt/paint.h"
#include "results/result_windows.h"

namespace {

double nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Shows `window` on the millisecond `ms` of the monotonic clock: woken half
// a millisecond early by a timerfd, as the game's driver is, then waiting
// out the rest.
class ShowAt : public QObject {
public:
    explicit ShowAt(QWidget& window) : window_(window), fd_(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC))
    {
        auto* notifier = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            std::uint64_t n = 0;
            [[maybe_unused]] auto r = ::read(fd_, &n, sizeof n);
            while (nowMs() < due_) {
            }
            window_.show();
            QTimer::singleShot(1000, &window_, &QWidget::hide);
        });
    }
    void at(double ms)
    {
        due_ = ms;
        const double wake = ms - 0.5;
        itimerspec when{};
        when.it_value.tv_sec = static_cast<time_t>(wake / 1e3);
        when.it_value.tv_nsec = static_cast<long>((wake - static_cast<double>(when.it_value.tv_sec) * 1e3) * 1e6);
        timerfd_settime(fd_, TFD_TIMER_ABSTIME, &when, nullptr);
    }

private:
    QWidget& window_;
    int fd_;
    double due_ = 0;
};

class StampedButton : public QPushButton {
public:
    using QPushButton::QPushButton;
    std::function<void(double)> pressedAt;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        pressedAt(static_cast<double>(event->timestamp()));
        QPushButton::mousePressEvent(event);
    }
};

int mapBaseline(QApplication& app)
{
    const forms::FormDesign& duel = duel::frmzib::design();
    QWidget window;
    window.setWindowTitle(QStringLiteral("Zib!"));
    window.setFixedSize(forms::pixels(duel.width), forms::pixels(duel.height));
    QWidget result(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint);
    const forms::FormDesign& win = results::frmWin::design();
    result.setFixedSize(forms::pixels(win.width), forms::pixels(win.height));
    result.setAutoFillBackground(true);  // drawn in one colour, as the win window's background is
    QPalette colour = result.palette();
    colour.setColor(QPalette::Window, Qt::green);
    result.setPalette(colour);
    // Made, not shown, above the window with the button: without a window
    // manager, windows stack in the order they were made, and a window
    // mapped below another is never drawn.
    window.winId();
    result.winId();
    ShowAt show(result);
    auto* start = new StampedButton(QStringLiteral("Start"), &window);
    for (const auto& c : duel.controls)
        if (c.name == "cbStart")
            start->setGeometry(forms::qt::qrect(c.box));
    start->pressedAt = [&show](double stamp) { show.at(stamp + 1073); };
    window.show();
    return app.exec();
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "map") == 0)
        return mapBaseline(app);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal"));
    window.setFixedSize(600, 420);
    window.show();
    return app.exec();
}
