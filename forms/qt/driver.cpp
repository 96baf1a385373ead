// SPDX-License-Identifier: MIT
#include "forms/qt/driver.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "forms/qt/accessible.h"
#include "forms/qt/form_window.h"
#include "forms/qt/server_clock.h"
#include "forms/qt/time_slices.h"

#ifdef __linux__
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace forms::qt {

using std::chrono::steady_clock;

namespace {

// How long before a timer event the timerfd wakes the driver, which then
// waits out the rest on the CPU and delivers the event on its instant.
// Armed exactly, the event would come as late as the kernel takes to wake a
// sleeping thread: about 0.1 ms at the median even on an idle machine,
// against 0.02 ms woken early. A wake-up later than this lead, as on a busy
// machine, is no later than an exact one would have been. The cost is at
// most this much CPU per event, within the short time slice it asks for. Input
// that comes in meanwhile waits for the event: if it was made first, the
// runtime puts it first.
constexpr std::chrono::microseconds wakeEarly{500};

}  // namespace

Driver::Driver(Runtime& runtime) : Driver(runtime, nullptr) {}

Driver::Driver(Runtime& runtime, std::unique_ptr<ServerClock> server)
    : runtime_(runtime)
    // The runtime's milliseconds are whole ones of the monotonic clock, the
    // clock window systems stamp input with, going on from where the
    // runtime's clock stands.
    , epoch_(std::chrono::time_point_cast<milliseconds>(steady_clock::now()) - runtime.now())
    , inputClock_(std::chrono::duration_cast<milliseconds>(epoch_.time_since_epoch()))
    , server_(std::move(server))
{
    // The program ends when the runtime says so, not when a window closes.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    installAccessibility();
    // The game's threads sleep between events and must run the moment one is
    // due, even while other programs keep every CPU busy: a short slice lets
    // them pre-empt those programs on waking. Frames take well under a
    // millisecond, so one is enough. Qt's own threads, the one reading the
    // window system's events among them, are already running.
    setTimeSlices(0, 1'000'000);

#ifdef __linux__
    // A timerfd with absolute deadlines fires on time to a fraction of a
    // millisecond; Qt's own timers are coarser.
    timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timerFd_ >= 0) {
        notifier_ = new QSocketNotifier(timerFd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] {
            std::uint64_t expirations = 0;
            // Nothing to read: the deadline was moved after it had passed.
            if (::read(timerFd_, &expirations, sizeof expirations) == sizeof expirations)
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
    if (!runtime_.ended())
        sync();
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

void Driver::onFirstIdle()
{
    if (std::exchange(readied_, true))
        return;
    // Where the window system can be asked its time, check that its stamps
    // are on our clock. The answer comes in as an event; until then stamps
    // are taken unless one shows another clock.
    if (!server_)
        server_ = ServerClock::x11();
    if (server_) {
        const milliseconds asked = now();
        server_->ask([this, asked](std::uint32_t time) { inputClock_.calibrate(time, asked, now()); });
    }
    // The windows the game showed and hid at start-up are made now, unseen,
    // so that showing one later costs no more than mapping it.
    if (runtime_.ended())
        return;
    for (const auto& form : runtime_.forms())
        if (!windows_.contains(form->loading()) && !form->Visible())
            windowFor(*form).prepare();
}

milliseconds Driver::now() const
{
    return std::chrono::duration_cast<milliseconds>(steady_clock::now() - epoch_);
}

void Driver::input(Target target, std::optional<std::uint64_t> stamp)
{
    runtime_.input(target, inputClock_.moment(stamp, now()));
}

QWidget* Driver::window(const Form& form) const
{
    auto it = windows_.find(form.loading());
    return it == windows_.end() ? nullptr : it->second.get();
}

void Driver::onDeadline()
{
    if (armed_) {
        const auto due = epoch_ + *armed_;
        if (due - steady_clock::now() > wakeEarly) {
            // Woken before its time (a timer that is not a timerfd): armed
            // again for the same deadline.
            armed_.reset();
            armNext();
            return;
        }
        // The rest of the wake's lead, on the CPU, taking no events: a
        // thread that slept now could wake late again.
        while (steady_clock::now() < due) {
        }
    }
    armed_.reset();
    runtime_.advanceTo(now());
    armNext();
}

FormWindow& Driver::windowFor(const Form& form)
{
    std::unique_ptr<FormWindow> window;
    if (auto spare = spares_.find(&form.design()); spare != spares_.end()) {
        window = std::move(spare->second);
        spares_.erase(spare);
    } else {
        window = std::make_unique<FormWindow>(*this, form.design());
    }
    window->attach(form);
    if (!readied_) {
        // Once start-up has drawn its first window and the program has
        // nothing else to do, get ready for what comes later.
        window->onFirstPaint([this] { QTimer::singleShot(0, this, &Driver::onFirstIdle); });
    }
    return *windows_.emplace(form.loading(), std::move(window)).first->second;
}

void Driver::sync()
{
    if (runtime_.ended()) {
        for (auto& [loading, window] : windows_) {
            window->detach();
            window.release()->deleteLater();
        }
        windows_.clear();
        for (auto& [design, window] : spares_)
            window.release()->deleteLater();
        spares_.clear();
        armNext();
        QCoreApplication::exit(runtime_.exitStatus());
        return;
    }

    // Windows of forms that have been unloaded are kept, one for each
    // design, for the form's next loading.
    for (auto it = windows_.begin(); it != windows_.end();) {
        if (!runtime_.find(it->first)) {
            FormWindow& window = *it->second;
            window.detach();
            if (!spares_.contains(&window.design()))
                spares_.emplace(&window.design(), std::move(it->second));
            else
                it->second.release()->deleteLater();
            it = windows_.erase(it);
        } else {
            ++it;
        }
    }

    for (const Form* form : presentationOrder(runtime_.forms())) {
        auto it = windows_.find(form->loading());
        if (it == windows_.end()) {
            if (!form->Visible())
                continue;  // a window shown and hidden in one handler is never made
            windowFor(*form);
            it = windows_.find(form->loading());
        }
        FormWindow& window = *it->second;
        window.sync();
        if (form->Visible() && !window.isVisible())
            window.present();
        else if (!form->Visible() && window.isVisible())
            window.hide();
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
