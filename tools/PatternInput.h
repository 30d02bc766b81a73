// The input side of vornix-pattern and vornix-render --pattern/--bank: a
// pattern or bank file read and recognised, and a fresh instrument that
// imports it exactly as the instrument does.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "patternfiles/PatternFile.h"

class Tolvane;

namespace vxtools {

struct PatternInput {
  PatternFormat format = PatternFormat::Native;
  PatternFile file;            // a pattern file, as read (ABL patterns named after the file)
  std::vector<uint8_t> bytes;  // the file's content (a bank is kept as it is)
};

// Reads `path` and recognises its format from the content (the native tag,
// an ABL meta-tag line, an XML root "Pattern", a state chunk's header),
// falling back to the extension (.303, .pat, .phptr, .b303). A bank is only
// read here; FreshInstrument::load checks it.
FileError loadPatternInput(const std::string& path, PatternInput& input);

// A newly constructed instrument, as a host would create it.
class FreshInstrument {
 public:
  FreshInstrument();
  ~FreshInstrument();

  // What the instrument does when it imports the file into its current
  // pattern slot with the file's parameters or settings; a bank replaces
  // the whole state. BadChunk for a bank that fails the chunk validation.
  FileError load(const PatternInput& input);

  Tolvane& synth() { return *m_synth; }

 private:
  std::unique_ptr<Tolvane> m_synth;
};

}  // namespace vxtools
