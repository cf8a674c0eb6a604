// What the toolkit's core asks of the host beyond the public window calls:
// font loading and lookups. Plain declarations; the host implements them.
#pragma once

#include <cstddef>
#include <optional>

#include "tavri/render.h"
#include "tavri/types.h"

namespace tavri::host {

// A font file or font bytes made available to this process; nullopt when the
// host is not running or the data is not a font.
std::optional<FontFamily> AddFontFile(const CString& path);
std::optional<FontFamily> AddFontData(const void* data, std::size_t size);
// An installed family of that name (or one the font system substitutes).
std::optional<FontFamily> FindInstalledFamily(const CString& name);

}  // namespace tavri::host
