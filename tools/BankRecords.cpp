#include "BankRecords.h"

#include "plugin/StateChunk.h"

namespace vxtools {

bool readBankRecords(const std::vector<uint8_t>& bank, std::vector<BankRecord>& records) {
  records.clear();
  StateChunk chunk;
  if (!readStateChunk(bank.data(), bank.size(), chunk)) return false;
  size_t at = StateChunk::kHeaderSize;
  for (const ChunkPattern& pattern : chunk.patterns) {
    const size_t size = 3 + 3 * static_cast<size_t>(pattern.nbStep) + StateChunk::kNameField;
    records.push_back({pattern.index, pattern.nbStep, pattern.name, at, size});
    at += size;
  }
  return true;
}

const BankRecord* findBankRecord(const std::vector<BankRecord>& records, int index) {
  const BankRecord* found = nullptr;
  for (const BankRecord& record : records)
    if (record.index == index) found = &record;
  return found;
}

std::vector<uint8_t> replaceBankPattern(const std::vector<uint8_t>& bank, const BankRecord& record,
                                        const Pattern& pattern) {
  std::vector<uint8_t> out(bank.begin(), bank.begin() + static_cast<std::ptrdiff_t>(record.offset));
  appendChunkPattern(record.index, pattern, out);
  out.insert(out.end(), bank.begin() + static_cast<std::ptrdiff_t>(record.offset + record.size), bank.end());
  return out;
}

}  // namespace vxtools
