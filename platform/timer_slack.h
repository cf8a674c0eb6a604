// Fine timer wake-ups for a stretch of timed work on the calling thread.
// Linux lets a sleeping thread wake up to its timer slack late (50 us by
// default) to batch wake-ups; macro steps want their delays as asked, so the
// slack is cut for the playback and given back afterwards.
#pragma once

namespace platform {

class FineTimerSlack {
public:
    FineTimerSlack();
    ~FineTimerSlack();
    FineTimerSlack(const FineTimerSlack&) = delete;
    FineTimerSlack& operator=(const FineTimerSlack&) = delete;

private:
    long saved_ = -1;
};

// Wake-ups on time on a busy machine as well. A thread whose timer fires
// still waits for a CPU while other programs keep every core busy (3 to 8 ms
// behind two compilers on two cores), so where the process is allowed to
// (root with CAP_SYS_NICE, or an RLIMIT_RTPRIO grant) the stretch runs at
// the lowest round-robin real-time priority. The timed work meant here
// sleeps between steps and writes one report per step, so it takes next to
// nothing from others. Where it is not allowed, nothing changes. The
// thread's own policy comes back at the end.
class PromptWakeups {
public:
    PromptWakeups();
    ~PromptWakeups();
    PromptWakeups(const PromptWakeups&) = delete;
    PromptWakeups& operator=(const PromptWakeups&) = delete;
    bool Raised() const { return raised_; }

private:
    int policy_ = -1;
    int priority_ = 0;
    bool raised_ = false;
};

}  // namespace platform
