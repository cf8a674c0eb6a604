#include "sim/trace.h"

namespace sim {

const char* TransferKindName(TransferKind kind) {
    switch (kind) {
    case TransferKind::Out: return "out";
    case TransferKind::Feature: return "feature";
    case TransferKind::Packet: return "packet";
    case TransferKind::Aux: return "aux";
    case TransferKind::FeatureRead: return "feature";
    }
    return "?";
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i) out += ' ';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0xF];
    }
    return out;
}

std::string FormatTransfer(const TransferRecord& record) {
    std::string line = record.kind == TransferKind::FeatureRead ? "R " : "W ";
    line += TransferKindName(record.kind);
    if (!record.bytes.empty()) {
        line += ' ';
        line += HexBytes(record.bytes);
    }
    if (!record.ok) line += " FAILED";
    return line;
}

}  // namespace sim
