// High-resolution periodic timers. One tick thread keeps every period on an
// absolute schedule; each tick is handed to the UI thread, where the owner's
// OnMTimer runs. A tick that is still waiting when the next one falls due is
// counted, and the UI thread runs the missed ones back to back (a few at
// most), so animations keep their pace.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "tavri/host.h"
#include "tavri/paint_manager.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kMaxCatchUp = 4;

class TickEngine {
public:
    static TickEngine& Instance() {
        static TickEngine engine;
        return engine;
    }

    ~TickEngine() {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }

    UINT Add(RKTimer* owner, UINT periodMs) {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_stop) return 0;
        if (++m_nextId == 0) ++m_nextId;
        Timer t;
        t.id = m_nextId;
        t.period = std::chrono::milliseconds(std::max<UINT>(periodMs, 1));
        t.next = Clock::now() + t.period;
        t.owner = owner;
        m_timers.push_back(t);
        if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
        m_wake.notify_all();
        return t.id;
    }

    bool Remove(UINT id) {
        std::lock_guard<std::mutex> lock(m_lock);
        auto it = std::find_if(m_timers.begin(), m_timers.end(), [id](const Timer& t) { return t.id == id; });
        if (it == m_timers.end()) return false;
        m_timers.erase(it);
        return true;
    }

    bool Has(UINT id) {
        std::lock_guard<std::mutex> lock(m_lock);
        return std::any_of(m_timers.begin(), m_timers.end(), [id](const Timer& t) { return t.id == id; });
    }

    RKTimer* Owner(UINT id) {
        std::lock_guard<std::mutex> lock(m_lock);
        for (const Timer& t : m_timers)
            if (t.id == id) return t.owner;
        return nullptr;
    }

    // UI thread: how many ticks of `id` are due, and who owns it.
    int Take(UINT id, RKTimer** owner) {
        std::lock_guard<std::mutex> lock(m_lock);
        for (Timer& t : m_timers) {
            if (t.id != id) continue;
            const int count = std::min(t.pending, kMaxCatchUp);
            t.pending = 0;
            t.handedOver = false;
            *owner = t.owner;
            return count;
        }
        return 0;
    }

private:
    struct Timer {
        UINT id = 0;
        std::chrono::milliseconds period{10};
        Clock::time_point next;
        RKTimer* owner = nullptr;
        int pending = 0;
        bool handedOver = false;
    };

    void Run() {
        std::unique_lock<std::mutex> lock(m_lock);
        while (!m_stop) {
            if (m_timers.empty()) {
                m_wake.wait(lock);
                continue;
            }
            Clock::time_point due = m_timers.front().next;
            for (const Timer& t : m_timers) due = std::min(due, t.next);
            const Clock::time_point now = Clock::now();
            if (now < due) {
                m_wake.wait_until(lock, due);
                continue;
            }
            for (Timer& t : m_timers) {
                if (t.next > now) continue;
                // Absolute schedule: lateness of one tick does not shift the
                // next; a long stall restarts the schedule from now.
                t.next += t.period;
                if (t.next <= now) t.next = now + t.period;
                ++t.pending;
                if (t.handedOver) continue;
                t.handedOver = true;
                const UINT id = t.id;
                if (!HostInvokeOnUiThread([id] { Deliver(id); })) {
                    t.handedOver = false;
                    t.pending = 0;
                }
            }
        }
    }

    static void Deliver(UINT id) {
        RKTimer* owner = nullptr;
        const int count = Instance().Take(id, &owner);
        for (int i = 0; i < count && owner; ++i) {
            // The owner may stop the timer (or go away) inside its handler.
            if (!Instance().Has(id)) return;
            owner->DeliverTick(id);
        }
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<Timer> m_timers;
    std::thread m_thread;
    UINT m_nextId = 0;
    bool m_stop = false;
};

}  // namespace

UINT RKTimer::s_accuracy = 1;
bool RKTimer::s_resolutionRaised = false;

RKTimer::RKTimer() = default;

RKTimer::~RKTimer() { KillTimer(); }

UINT RKTimer::SetTimer(UINT periodMs, const wchar_t* name, UINT_PTR value) {
    const UINT id = TickEngine::Instance().Add(this, periodMs);
    if (!id) return 0;
    std::lock_guard<std::mutex> lock(m_lock);
    m_timers.push_back(Entry{id, CString(name ? name : L""), value});
    return id;
}

BOOL RKTimer::KillTimer(UINT id) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        auto it = std::find_if(m_timers.begin(), m_timers.end(), [id](const Entry& e) { return e.id == id; });
        if (it == m_timers.end()) return 0;
        m_timers.erase(it);
    }
    TickEngine::Instance().Remove(id);
    return 1;
}

BOOL RKTimer::KillTimer(const wchar_t* name) {
    if (!name) return 0;
    UINT id = 0;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (const Entry& e : m_timers)
            if (e.name == name) id = e.id;
    }
    return id ? KillTimer(id) : 0;
}

void RKTimer::KillTimer() {
    std::vector<Entry> all;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        all.swap(m_timers);
    }
    for (const Entry& e : all) TickEngine::Instance().Remove(e.id);
}

BOOL RKTimer::IsAppTimer(UINT id) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return std::any_of(m_timers.begin(), m_timers.end(), [id](const Entry& e) { return e.id == id; }) ? 1 : 0;
}

BOOL RKTimer::GetTimerIsRun(UINT id) const { return IsAppTimer(id) && TickEngine::Instance().Has(id) ? 1 : 0; }

BOOL RKTimer::GetTimerIsRun(const wchar_t* name) const {
    if (!name) return 0;
    UINT id = 0;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (const Entry& e : m_timers)
            if (e.name == name) id = e.id;
    }
    return id ? GetTimerIsRun(id) : 0;
}

RKTimer* RKTimer::GetFSTimer(UINT id) { return TickEngine::Instance().Owner(id); }

void RKTimer::OnMTimer(UINT) {}
void RKTimer::OnMTimer(UINT, const wchar_t*) {}

void RKTimer::DeliverTick(UINT id) {
    CString name;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (const Entry& e : m_timers)
            if (e.id == id) name = e.name;
    }
    OnMTimer(id);
    if (!name.empty() && TickEngine::Instance().Has(id)) OnMTimer(id, name.c_str());
}
