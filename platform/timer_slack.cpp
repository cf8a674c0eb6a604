#include "platform/timer_slack.h"

#include <sched.h>
#include <sys/prctl.h>

namespace platform {

namespace {
constexpr unsigned long kFineSlackNs = 1000;
}

FineTimerSlack::FineTimerSlack() {
    saved_ = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    if (saved_ >= 0) prctl(PR_SET_TIMERSLACK, kFineSlackNs, 0, 0, 0);
}

FineTimerSlack::~FineTimerSlack() {
    // Setting 0 would mean "the thread's default", which is what a thread
    // reads back anyway when it never changed its slack.
    if (saved_ > 0) prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(saved_), 0, 0, 0);
}

PromptWakeups::PromptWakeups() {
    // Pid 0 is the calling thread, not the whole process.
    policy_ = sched_getscheduler(0);
    sched_param saved{};
    if (policy_ < 0 || sched_getparam(0, &saved) != 0) return;
    priority_ = saved.sched_priority;
    // A thread that already has a policy of its own keeps it. No
    // reset-on-fork flag: a thread without privileges could not clear it
    // again, and its policy would not come back whole.
    if (policy_ != SCHED_OTHER) return;
    sched_param rr{};
    rr.sched_priority = sched_get_priority_min(SCHED_RR);
    raised_ = sched_setscheduler(0, SCHED_RR, &rr) == 0;
}

PromptWakeups::~PromptWakeups() {
    if (!raised_) return;
    sched_param saved{};
    saved.sched_priority = priority_;
    sched_setscheduler(0, policy_, &saved);
}

}  // namespace platform
