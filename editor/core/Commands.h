// Everything the editor can ask of the instrument, one call per request,
// each turned into its message and handed to the sink (the UI FIFO). The
// window's widgets and menus call these; nothing else writes to the
// instrument.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct EditorMessage;

class Commands {
 public:
  using Sink = std::function<void(const uint8_t* bytes, size_t size)>;

  enum PatternEdit { kClear = 0, kCopy, kPaste, kTransposeUp, kTransposeDown, kRotateLeft, kRotateRight };
  enum SlotAction { kSlotClear = 0, kSlotCopy, kSlotPaste, kSlotRandom };
  enum StepField { kNote = 0, kSlide, kAccent };
  // Random kinds: pattern, notes, slides, accents, sound, pattern and sound.
  enum RandomKind { kRandomPattern = 0, kRandomNotes, kRandomSlides, kRandomAccents, kRandomSound, kRandomAll };
  // File kinds as the instrument numbers them; export and import differ.
  enum ExportKind { kExportPattern = 0, kExportAbl2 = 2, kExportAbl3 = 3, kExportBank = 4, kExportPhoscyon = 5 };
  enum ImportKind {
    kImportPattern = 0,
    kImportPatternWithSound = 1,
    kImportAbl = 2,
    kImportPhoscyon = 3,
    kImportBank = 4,
    kImportAblWithSound = 5
  };

  explicit Commands(Sink sink) : sink_(std::move(sink)) {}

  void setParameter(int index, float value);
  void editStep(StepField field, int step, int value);
  void note(int midiNote, bool on, int velocity = 100);
  void editPattern(PatternEdit edit);
  void slot(SlotAction action, int slot);
  void rename(const std::string& name);  // at most 255 bytes are sent
  void randomise(RandomKind kind);
  void play();
  void stop();
  // Paths too long for the message are refused (false), never cut short:
  // a cut path would name another file.
  bool exportFile(ExportKind kind, const std::string& path);
  bool importFile(ImportKind kind, int slot, const std::string& path);

 private:
  void send(const EditorMessage& message);
  Sink sink_;
};
