// The clock the keyboard link paces its transfers with. The fixed waits
// before feature reads and retries are real sleeps on the system clock; tests
// that only care about what was sent swap in a manual clock, which advances
// by the requested time instead of sleeping.
#pragma once

#include <atomic>
#include <cstdint>

class DeviceClock {
public:
    virtual ~DeviceClock() = default;
    // Monotonic time in microseconds; only differences mean anything.
    virtual std::int64_t NowMicros() = 0;
    virtual void SleepMs(int ms) = 0;
};

// Steady clock and absolute-deadline sleeps, so a wait is not lengthened by
// the time it takes to start it.
DeviceClock& SystemDeviceClock();

// Time moves only when someone sleeps on it or Advance is called. Safe to
// share between threads.
class ManualDeviceClock : public DeviceClock {
public:
    std::int64_t NowMicros() override { return now_.load(); }
    void SleepMs(int ms) override;
    void Advance(std::int64_t micros) { now_.fetch_add(micros); }
    // Sum of every SleepMs since construction or the last Reset, in ms.
    std::int64_t SleptMs() const { return slept_.load(); }
    int SleepCount() const { return sleeps_.load(); }
    void ResetCounters();

private:
    std::atomic<std::int64_t> now_{1'000'000};
    std::atomic<std::int64_t> slept_{0};
    std::atomic<int> sleeps_{0};
};

// The clock the process-wide device manager and the simulator use unless told
// otherwise (the system clock).
DeviceClock& DefaultDeviceClock();
// Tests and benchmarks only; the clock must outlive every user.
void SetDefaultDeviceClock(DeviceClock* clock);
