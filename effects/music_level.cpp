#include "effects/music_level.h"

#include <cstdlib>

namespace effects {

int MusicLevelFromSamples(const std::int16_t* samples, std::size_t count) {
    if (!samples || count < 10) return 0;
    return std::abs(static_cast<int>(samples[count - 10])) >> 8;
}

void MusicLevelPath::OnMusicSamples(const std::int16_t* samples, std::size_t count, int, int, int) {
    if (!enabled_.load()) return;
    sink_.SendMusicLevel(MusicLevelFromSamples(samples, count));
}

}  // namespace effects
