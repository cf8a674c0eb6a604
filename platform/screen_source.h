// Whole-screen capture for the screen light. The image is handed out as a
// view of the source's own memory, so a sample costs one copy by the display
// server and nothing more here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// A captured screen: 32-bit pixels, `stride` bytes per row, top row first.
// Each channel is 8 bits wide and found by its mask in the pixel value read in
// the image's byte order.
struct ScreenImage {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    std::uint32_t redMask = 0x00FF0000;
    std::uint32_t greenMask = 0x0000FF00;
    std::uint32_t blueMask = 0x000000FF;
    bool msbFirst = false;  // pixel bytes stored most significant first
};

class ScreenSource {
public:
    virtual ~ScreenSource() = default;
    // Captures the whole screen at its current size. The view stays valid
    // until the next call or until the source goes. False when this sample
    // could not be taken; a later call may succeed.
    virtual bool Capture(ScreenImage* image) = 0;
};

// The X11 root window through MIT-SHM (also XWayland, where the compositor
// allows it). `display` empty means $DISPLAY. Null when there is no X server,
// no MIT-SHM, or the root window is not 32 bits per pixel.
std::unique_ptr<ScreenSource> MakeX11ScreenSource(const std::string& display = {});

}  // namespace platform
