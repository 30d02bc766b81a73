#include "editor/core/Inbox.h"

#include <cstring>

namespace {

uint32_t u32At(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// Longest decimal window handle we accept: 20 digits hold any 64-bit value.
constexpr uint32_t kMaxWindowDigits = 20;

enum class Parse { kDone, kNeedMore, kBad };

Parse parseOne(const uint8_t* p, size_t n, PluginMessage& m, size_t& used) {
  switch (p[0]) {
    case 1:
      if (n < 9) return Parse::kNeedMore;
      m.kind = PluginMessage::kParameter;
      m.index = static_cast<int32_t>(u32At(p + 1));
      {
        uint32_t bits = u32At(p + 5);
        std::memcpy(&m.value, &bits, sizeof m.value);
      }
      used = 9;
      return Parse::kDone;
    case 2:
      m.kind = PluginMessage::kRefresh;
      used = 1;
      return Parse::kDone;
    case 3:
    case 16:
      if (n < 2) return Parse::kNeedMore;
      m.kind = p[0] == 3 ? PluginMessage::kStep : PluginMessage::kAlgorithm;
      m.index = p[1];
      used = 2;
      return Parse::kDone;
    case 4:
      if (n < 4) return Parse::kNeedMore;
      m.kind = PluginMessage::kMidi;
      m.status = p[1];
      m.data1 = p[2];
      m.data2 = p[3];
      used = 4;
      return Parse::kDone;
    case 6: {
      if (n < 5) return Parse::kNeedMore;
      uint32_t len = u32At(p + 1);
      if (len == 0 || len > kMaxWindowDigits) return Parse::kBad;
      if (n < 6 + static_cast<size_t>(len)) return Parse::kNeedMore;
      unsigned long long id = 0;
      for (uint32_t i = 0; i < len; ++i) {
        uint8_t c = p[5 + i];
        if (c < '0' || c > '9') return Parse::kBad;
        unsigned long long next = id * 10 + (c - '0');
        if (next < id) return Parse::kBad;
        id = next;
      }
      if (p[5 + len] != 0) return Parse::kBad;
      m.kind = PluginMessage::kOpen;
      m.window = static_cast<unsigned long>(id);
      used = 6 + len;
      return Parse::kDone;
    }
    case 7:
      if (n < 2) return Parse::kNeedMore;
      m.kind = PluginMessage::kQuit;
      used = 2;
      return Parse::kDone;
    default:
      return Parse::kBad;
  }
}

}  // namespace

void Inbox::feed(const uint8_t* bytes, size_t size, std::vector<PluginMessage>& out) {
  pending_.insert(pending_.end(), bytes, bytes + size);
  size_t at = 0;
  while (at < pending_.size()) {
    PluginMessage m{PluginMessage::kRefresh};
    size_t used = 0;
    Parse result = parseOne(pending_.data() + at, pending_.size() - at, m, used);
    if (result == Parse::kNeedMore) break;
    if (result == Parse::kBad) {
      at = pending_.size();
      break;
    }
    out.push_back(m);
    at += used;
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
}
