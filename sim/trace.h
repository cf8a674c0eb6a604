// The simulated keyboard's record of every transfer, in the form the
// command-line front end prints it:
//   W out|feature|packet|aux HEX     a write
//   R feature HEX                    a feature read
// HEX is the bytes on the wire, report id first, as upper-case pairs
// separated by single spaces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class TransferKind {
    Out,          // output report on a command interface
    Feature,      // feature report written
    Packet,       // output report carrying a BB AA 99 88 packet
    Aux,          // output report on the interface-3 channel
    FeatureRead,  // feature report read
};

struct TransferRecord {
    std::int64_t timeMicros = 0;  // the device clock's monotonic time
    TransferKind kind = TransferKind::Out;
    std::vector<std::uint8_t> bytes;  // as sent, or as answered; empty for a failed read
    bool ok = true;                   // false when the transfer failed
    int mode = 0;                     // connection the interface belongs to
    int interfaceNumber = -1;
};

// "out", "feature", "packet", "aux"; reads are "feature" too.
const char* TransferKindName(TransferKind kind);
// "00 8D 3C"
std::string HexBytes(const std::vector<std::uint8_t>& bytes);
// "W out 00 8D ...", "R feature 07 ...", with " FAILED" after a transfer that
// did not go through.
std::string FormatTransfer(const TransferRecord& record);

}  // namespace sim
