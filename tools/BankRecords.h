// The pattern records of a bank file (the instrument's state chunk), for
// listing, extracting and replacing single patterns in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sequencer/Pattern.h"

namespace vxtools {

struct BankRecord {
  int index;  // pattern index in the song, 0..63
  int length;
  std::string name;
  size_t offset;  // where the record starts in the file
  size_t size;    // 130 + 3 x length bytes
};

// The records in file order; false when the bank fails the chunk validation
// the instrument applies when it restores a bank.
bool readBankRecords(const std::vector<uint8_t>& bank, std::vector<BankRecord>& records);

// The last record of pattern `index` (the one a restore keeps), or null.
const BankRecord* findBankRecord(const std::vector<BankRecord>& records, int index);

// The bank with `record` replaced by a record of the same index holding the
// pattern's steps, length and name; every other byte stays as it was (later
// records move when the length changes).
std::vector<uint8_t> replaceBankPattern(const std::vector<uint8_t>& bank, const BankRecord& record,
                                        const Pattern& pattern);

}  // namespace vxtools
