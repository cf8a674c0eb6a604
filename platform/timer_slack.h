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

}  // namespace platform
