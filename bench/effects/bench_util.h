// Small helpers shared by the engine benchmarks: clocks, medians, CPU time.
#pragma once

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

inline double Seconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}
inline double WallSeconds() { return Seconds(CLOCK_MONOTONIC); }
inline double ProcessCpuSeconds() { return Seconds(CLOCK_PROCESS_CPUTIME_ID); }

inline double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
    return v[i];
}

// CPU seconds (user + system) another process has used, from /proc; -1 when unknown.
inline double OtherProcessCpuSeconds(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return -1.0;
    std::vector<std::string> fields;
    std::size_t pos = close + 2;
    while (pos < stat.size()) {
        const std::size_t end = stat.find(' ', pos);
        fields.push_back(stat.substr(pos, end - pos));
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    // Fields after the name: state is [0], utime [11], stime [12].
    if (fields.size() < 13) return -1.0;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (std::stod(fields[11]) + std::stod(fields[12])) / ticks;
}

}  // namespace bench
