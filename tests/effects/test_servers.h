// Private servers for the tests of the real capture sources: a PulseAudio
// daemon with a null sink, and an Xvfb screen, each started for one test from
// the programs on PATH and ended with it. Private servers never play a tone
// on the machine's speakers or paint over its desktop, and tests running in
// parallel do not share them.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace effects_test {

// Full path of a program on PATH, or empty.
std::string FindProgram(const std::string& name);

class PrivatePulse {
public:
    PrivatePulse() = default;
    ~PrivatePulse();
    PrivatePulse(const PrivatePulse&) = delete;
    PrivatePulse& operator=(const PrivatePulse&) = delete;

    // Starts the daemon with the null sink "keyloom_test" (48 kHz stereo) as
    // the default and points this process's clients at it (PULSE_SERVER).
    // False with the reason when it cannot run here.
    bool Start(std::string* why);
    // Ends the daemon, as when the sound server quits.
    void Stop();
    // pactl against the private server; its exit code, and what it printed
    // when `out` is given.
    int Pactl(const std::vector<std::string>& args, std::string* out = nullptr);

private:
    std::unique_ptr<testsupport::IsolatedHome> home_;
    testsupport::EnvGuard env_;
    std::string pactl_;
    pid_t pid_ = -1;
};

class PrivateXServer {
public:
    PrivateXServer() = default;
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    bool Start(int width, int height, std::string* why);
    // Ends the server, as when the desktop session goes.
    void Stop();
    const std::string& Display() const { return display_; }

private:
    std::unique_ptr<testsupport::TempDir> dir_;
    pid_t pid_ = -1;
    std::string display_;
};

// Plays a sine into a sink (empty = the default) on a thread of its own until
// it goes. Amplitude 1.0 is full scale.
class TonePlayer {
public:
    TonePlayer(double hz, double amplitude, const std::string& sink = {});
    ~TonePlayer();
    bool Playing() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace effects_test
