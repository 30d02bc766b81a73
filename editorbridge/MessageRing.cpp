#include "editorbridge/MessageRing.h"

#include <cstring>

MessageRing::MessageRing() {
  for (uint32_t i = 0; i < kCapacity; ++i) m_cells[i].sequence.store(i, std::memory_order_relaxed);
}

bool MessageRing::push(const uint8_t* bytes, size_t size) {
  if (size == 0 || size > kMaxMessage) return false;
  uint32_t position = m_write.load(std::memory_order_relaxed);
  Cell* cell;
  for (;;) {
    cell = &m_cells[position & (kCapacity - 1)];
    const uint32_t sequence = cell->sequence.load(std::memory_order_acquire);
    const int32_t lag = static_cast<int32_t>(sequence - position);
    if (lag == 0) {
      if (m_write.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) break;
    } else if (lag < 0) {
      return false;  // full: the consumer has not freed this cell yet
    } else {
      position = m_write.load(std::memory_order_relaxed);
    }
  }
  cell->size = static_cast<uint8_t>(size);
  std::memcpy(cell->bytes, bytes, size);
  cell->sequence.store(position + 1, std::memory_order_release);
  return true;
}

size_t MessageRing::pop(uint8_t* out) {
  Cell& cell = m_cells[m_read & (kCapacity - 1)];
  if (cell.sequence.load(std::memory_order_acquire) != m_read + 1) return 0;
  const size_t size = cell.size;
  std::memcpy(out, cell.bytes, size);
  cell.sequence.store(m_read + kCapacity, std::memory_order_release);
  ++m_read;
  return size;
}
