#include "editor/core/Inbox.h"

#include <limits>

void Inbox::feed(const uint8_t* bytes, size_t size, std::vector<PluginMessage>& out) {
  pending_.insert(pending_.end(), bytes, bytes + size);
  size_t at = 0;
  while (at < pending_.size()) {
    PluginMessage message;
    DecodeResult result = decodePluginMessage(pending_.data() + at, pending_.size() - at, message);
    if (result.status == DecodeStatus::kIncomplete) break;
    if (result.status != DecodeStatus::kComplete) {
      at = pending_.size();
      break;
    }
    out.push_back(std::move(message));
    at += result.size;
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
}

bool parseWindowId(const std::string& text, unsigned long& id) {
  if (text.empty()) return false;
  unsigned long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    unsigned digit = static_cast<unsigned>(c - '0');
    if (value > (std::numeric_limits<unsigned long>::max() - digit) / 10) return false;
    value = value * 10 + digit;
  }
  id = value;
  return true;
}
