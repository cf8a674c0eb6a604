#include "link/device_clock.h"

#include <cerrno>
#include <ctime>
#include <sys/prctl.h>

#include "platform/timer_slack.h"

namespace {

class SystemClock final : public DeviceClock {
public:
    std::int64_t NowMicros() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
    }
    void SleepMs(int ms) override {
        if (ms <= 0) return;
        // The kernel may let a sleep run over by the thread's timer slack
        // (50 us unless set); the waits pace the keyboard, so ask for none.
        thread_local const bool tight = prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
        (void)tight;
        timespec deadline{};
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += ms / 1000;
        deadline.tv_nsec += static_cast<long>(ms % 1000) * 1'000'000L;
        if (deadline.tv_nsec >= 1'000'000'000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1'000'000'000L;
        }
        // On a busy machine the thread would otherwise wait for a CPU after
        // its deadline; where allowed it wakes at real-time priority and has
        // its own back as soon as the sleep is over.
        const platform::PromptWakeups onTime;
        // A signal ends the sleep early; go back to the same deadline.
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
        }
    }
};

std::atomic<DeviceClock*>& DefaultClockSlot() {
    static std::atomic<DeviceClock*> slot{nullptr};
    return slot;
}

}  // namespace

DeviceClock& SystemDeviceClock() {
    static SystemClock clock;
    return clock;
}

void ManualDeviceClock::SleepMs(int ms) {
    if (ms <= 0) return;
    now_.fetch_add(static_cast<std::int64_t>(ms) * 1000);
    slept_.fetch_add(ms);
    sleeps_.fetch_add(1);
}

void ManualDeviceClock::ResetCounters() {
    slept_.store(0);
    sleeps_.store(0);
}

DeviceClock& DefaultDeviceClock() {
    DeviceClock* c = DefaultClockSlot().load();
    return c ? *c : SystemDeviceClock();
}

void SetDefaultDeviceClock(DeviceClock* clock) { DefaultClockSlot().store(clock); }
