// The messages the instrument has for its editor, on their way to the
// plug-in FIFO. Any thread may push, the audio thread included: a push is a
// few atomic operations on a fixed ring, never a lock, an allocation or a
// system call. The bridge's timer thread pops them and writes them to the
// FIFO, so the FIFO is only ever written from threads that may do I/O.
//
// Bounded multi-producer queue with a sequence number per cell: a producer
// claims a cell by advancing the write position and publishes it by
// storing the cell's sequence; the single consumer takes a cell only once
// it is published. A full ring drops the message, as a full FIFO would.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

class MessageRing {
 public:
  static constexpr uint32_t kCapacity = 1024;  // a power of two
  static constexpr size_t kMaxMessage = 11;

  MessageRing();
  MessageRing(const MessageRing&) = delete;
  MessageRing& operator=(const MessageRing&) = delete;

  // Any thread. False when the ring is full or the message too long.
  bool push(const uint8_t* bytes, size_t size);
  // One consumer at a time. Copies the oldest message into out (room for
  // kMaxMessage bytes) and answers its size, or 0 when there is none.
  size_t pop(uint8_t* out);

 private:
  struct Cell {
    std::atomic<uint32_t> sequence{0};
    uint8_t size = 0;
    uint8_t bytes[kMaxMessage] = {};
  };

  Cell m_cells[kCapacity];
  alignas(64) std::atomic<uint32_t> m_write{0};
  alignas(64) uint32_t m_read = 0;
};
