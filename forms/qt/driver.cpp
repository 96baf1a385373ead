// SPDX-License-Identifier: MIT
#include "forms/qt/driver.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "forms/qt/accessible.h"
#include "forms/qt/form_window.h"

#ifdef __linux__
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace forms::qt {

namespace {

// How much before a timer event the driver wakes, to be on time however long
// the kernel takes to wake it.
constexpr auto wakeEarly = std::chrono::microseconds(500);

}  // namespace

Driver::Driver(Runtime& runtime) : runtime_(runtime), epoch_(std::chrono::steady_clock::now())
{
    // The program ends when the runtime says so, not when a window closes.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    installAccessibility();

#ifdef __linux__
    // A timerfd with absolute deadlines fires on time to a fraction of a
    // millisecond; Qt's own timers are coarser.
    timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timerFd_ >= 0) {
        notifier_ = new QSocketNotifier(timerFd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] {
            std::uint64_t expirations = 0;
            [[maybe_unused]] auto n = ::read(timerFd_, &expirations, sizeof expirations);
            onDeadline();
        });
    }
#endif
    if (!notifier_) {
        fallback_ = new QTimer(this);
        fallback_->setTimerType(Qt::PreciseTimer);
        fallback_->setSingleShot(true);
        connect(fallback_, &QTimer::timeout, this, &Driver::onDeadline);
    }
    runtime_.afterEvent([this] { sync(); });
}

Driver::~Driver()
{
    runtime_.afterEvent(nullptr);
#ifdef __linux__
    delete notifier_;  // before the descriptor it watches is closed
    if (timerFd_ >= 0)
        ::close(timerFd_);
#endif
}

int Driver::exec()
{
    sync();
    if (runtime_.ended())
        return runtime_.exitStatus();
    return QCoreApplication::exec();
}

milliseconds Driver::now() const
{
    return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - epoch_);
}

void Driver::catchUp() { runtime_.advanceTo(now()); }

template <class Deliver>
void Driver::input(const Form& form, Deliver deliver)
{
    const auto name = form.Name();
    const auto serial = form.serial();
    catchUp();
    // A timer event that was due first may have unloaded the window the
    // input was meant for: then the input is lost with it.
    if (runtime_.find(name, serial))
        deliver();
}

void Driver::click(Control& button)
{
    input(button.form(), [&] { runtime_.click(button); });
}

void Driver::click(MenuItem& item)
{
    input(item.form(), [&] { runtime_.click(item); });
}

void Driver::close(Form& form)
{
    input(form, [&] { runtime_.close(form); });
}

QWidget* Driver::window(const Form& form) const
{
    auto it = windows_.find(form.serial());
    return it == windows_.end() ? nullptr : it->second.get();
}

void Driver::onDeadline()
{
    // The timerfd wakes us a little early, since waking a sleeping thread
    // takes a variable fraction of a millisecond. Wait out the rest here, so
    // the event is delivered on its millisecond, but keep taking the player's
    // input meanwhile: a press in that time came first and must count first.
    // Input that changes the timers re-arms the deadline and ends the wait.
    const auto target = armed_;
    while (notifier_ && target && armed_ == target && std::chrono::steady_clock::now() < epoch_ + *target)
        QCoreApplication::processEvents();
    armed_.reset();
    catchUp();
    armNext();
}

void Driver::sync()
{
    if (runtime_.ended()) {
        for (auto& [serial, window] : windows_) {
            window->detach();
            window.release()->deleteLater();
        }
        windows_.clear();
        armNext();
        QCoreApplication::exit(runtime_.exitStatus());
        return;
    }

    // Windows of forms that have been unloaded go; a form loaded again gets
    // a new window.
    std::vector<std::uint64_t> live;
    for (const auto& form : runtime_.forms())
        live.push_back(form->serial());
    for (auto it = windows_.begin(); it != windows_.end();) {
        if (std::ranges::find(live, it->first) == live.end()) {
            it->second->detach();
            it->second.release()->deleteLater();
            it = windows_.erase(it);
        } else {
            ++it;
        }
    }

    // Show new windows before hiding old ones, so the screen is never left
    // without one.
    for (const auto& form : runtime_.forms()) {
        auto it = windows_.find(form->serial());
        if (it == windows_.end()) {
            if (!form->Visible())
                continue;  // a window shown and hidden in one handler is never made
            it = windows_.emplace(form->serial(), std::make_unique<FormWindow>(*this, *form)).first;
        }
        FormWindow& window = *it->second;
        window.sync();
        if (form->Visible() && !window.isVisible())
            window.present();
    }
    for (const auto& form : runtime_.forms()) {
        auto it = windows_.find(form->serial());
        if (it != windows_.end() && !form->Visible() && it->second->isVisible())
            it->second->hide();
    }
    armNext();
}

void Driver::armNext()
{
    const auto due = runtime_.nextDue();
    if (due == armed_)
        return;
    armed_ = due;
#ifdef __linux__
    if (notifier_) {
        itimerspec when{};
        if (due) {
            const auto deadline = (epoch_ + *due - wakeEarly).time_since_epoch();
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(deadline);
            when.it_value.tv_sec = static_cast<time_t>(seconds.count());
            when.it_value.tv_nsec = static_cast<long>(std::chrono::nanoseconds(deadline - seconds).count());
            if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0)
                when.it_value.tv_nsec = 1;  // zero would disarm it
        }
        timerfd_settime(timerFd_, TFD_TIMER_ABSTIME, &when, nullptr);
        return;
    }
#endif
    if (!due) {
        fallback_->stop();
        return;
    }
    const auto wait = std::max<std::int64_t>(0, (*due - now()).count());
    fallback_->start(static_cast<int>(wait));
}

}  // namespace forms::qt
