#include "link/softkeys/vhidev.h"

#include <algorithm>

namespace softkeys {

VHidev& VHidev::Instance() {
    // Never destroyed: threads that are still ending at exit may write.
    static VHidev* instance = new VHidev();
    return *instance;
}

void VHidev::SetBackend(std::unique_ptr<VirtualDeviceBackend> backend) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    backend_ = std::move(backend);
    keyboard_.fill(0);
    mouse_.fill(0);
    consumer_.fill(0);
}

bool VHidev::Open() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return backend_ && backend_->Open();
}

bool VHidev::IsOpen() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return backend_ && backend_->IsOpen();
}

bool VHidev::Write(const std::uint8_t* data, std::size_t length, std::uint8_t reportId) {
    std::array<std::uint8_t, kDeviceWriteSize> buffer{};
    buffer[0] = 5;
    buffer[1] = reportId;
    const std::size_t offset = reportId == 0 ? 1 : 2;
    if (data) std::copy_n(data, std::min(length, buffer.size() - offset), buffer.begin() + static_cast<long>(offset));
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return backend_ && backend_->IsOpen() && backend_->Write(buffer);
}

void VHidev::SendKeyboard() { Write(keyboard_.data(), keyboard_.size(), 1); }
void VHidev::SendMouse() { Write(mouse_.data(), mouse_.size(), 2); }
void VHidev::SendConsumer() { Write(consumer_.data(), consumer_.size(), 3); }

void VHidev::ReleaseAll() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    keyboard_.fill(0);
    mouse_.fill(0);
    consumer_.fill(0);
    SendKeyboard();
    SendMouse();
    SendConsumer();
    const std::uint8_t fourth[2] = {0, 0};
    Write(fourth, sizeof fourth, 4);
}

void VHidev::SetKey(int code, bool down) {
    // Codes outside the map would write past the report.
    if (code < 0 || code > 255) return;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    std::uint8_t& byte = keyboard_[1 + static_cast<std::size_t>(code / 8)];
    const std::uint8_t bit = static_cast<std::uint8_t>(1u << (code % 8));
    byte = down ? (byte | bit) : (byte & ~bit);
    SendKeyboard();
}

void VHidev::SetMouseButton(int bit, bool down) {
    if (bit < 0 || bit > 7) return;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const std::uint8_t mask = static_cast<std::uint8_t>(1u << bit);
    mouse_[0] = down ? (mouse_[0] | mask) : (mouse_[0] & ~mask);
    SendMouse();
}

void VHidev::SetConsumer(int usage, bool down) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const int held = down ? usage : 0;
    consumer_[0] = static_cast<std::uint8_t>(held & 0xFF);
    consumer_[1] = static_cast<std::uint8_t>((held >> 8) & 0xFF);
    SendConsumer();
}

bool VHidev::KeyHeld(int code) const {
    if (code < 0 || code > 255) return false;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return (keyboard_[1 + static_cast<std::size_t>(code / 8)] >> (code % 8)) & 1;
}

std::uint8_t VHidev::MouseButtons() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return mouse_[0];
}

int VHidev::Consumer() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return consumer_[0] | (consumer_[1] << 8);
}

}  // namespace softkeys
