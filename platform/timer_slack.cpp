#include "platform/timer_slack.h"

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

}  // namespace platform
