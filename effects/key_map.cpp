#include "effects/key_map.h"

namespace effects {

MusicKeyMap::MusicKeyMap(int rowCount, int colCount)
    : rows_(rowCount), rowStep_(rowCount > 0 ? 62 / rowCount : 0), colStep_(colCount > 0 ? 255 / colCount : 0) {}

int MusicKeyMap::PictureRow(int row) const {
    if (rows_ <= 0) return 0;
    return row * rowStep_ + 2 + static_cast<int>(rowStep_ * 0.5);
}

int MusicKeyMap::PictureColumn(int column) const { return column * colStep_; }

}  // namespace effects
