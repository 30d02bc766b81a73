#include "patternfiles/PhoscyonPatternFile.h"

#include <tinyxml2.h>

namespace {

constexpr size_t kMaxNameBytes = 24;

int intAttribute(const tinyxml2::XMLElement* element, const char* name) {
  int value = 0;
  element->QueryIntAttribute(name, &value);
  return value;
}

}  // namespace

std::string encodePhoscyonPattern(const PatternSnapshot& snapshot) {
  const Pattern& pattern = snapshot.pattern;
  tinyxml2::XMLDocument document;  // entity processing on, as by default
  tinyxml2::XMLElement* root = document.NewElement("Pattern");
  document.InsertFirstChild(root);
  root->SetAttribute("application", "Phoscyon");
  root->SetAttribute("name", pattern.getName().c_str());
  root->SetAttribute("length", pattern.getNBStep());
  root->SetAttribute("shuffle", 0);
  root->SetAttribute("tempo", snapshot.tempo);
  for (int i = 0; i < pattern.getNBStep(); ++i) {
    const Step* step = pattern.getStep(i);
    tinyxml2::XMLElement* element = document.NewElement("Step");
    element->SetAttribute("note", step->note - kDefaultNote);
    element->SetAttribute("octaveUp", 0);
    element->SetAttribute("octaveDown", 0);
    element->SetAttribute("gate", step->note != kRestNote ? 1 : 0);
    element->SetAttribute("accent", step->accent ? 1 : 0);
    element->SetAttribute("slide", step->slide ? 1 : 0);
    element->SetAttribute("gateLevel", 0);
    element->SetAttribute("accentLevel", 0);
    element->SetAttribute("slideLevel", 0);
    root->InsertEndChild(element);
  }
  tinyxml2::XMLPrinter printer;  // indented, not compact
  document.Print(&printer);
  return std::string(printer.CStr(), static_cast<size_t>(printer.CStrSize() - 1));
}

FileError decodePhoscyonPattern(const std::string& text, PatternFile& out) {
  tinyxml2::XMLDocument document;
  if (document.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) return FileError::NotXml;
  const tinyxml2::XMLElement* root = document.FirstChildElement("Pattern");
  if (!root) return FileError::NoPatternElement;
  const int length = intAttribute(root, "length");
  if (length < 1 || length > Pattern::kMaxSteps) return FileError::BadStepCount;

  PatternFile file;
  file.format = PatternFormat::Phoscyon;
  file.pattern = Pattern(length);
  const char* name = root->Attribute("name");
  if (name && *name) file.pattern.setName(cutPatternName(name, kMaxNameBytes));

  int i = 0;
  for (const tinyxml2::XMLElement* element = root->FirstChildElement(); element && i < length;
       element = element->NextSiblingElement("Step"), ++i) {
    file.pattern.setStepAccent(intAttribute(element, "accent") != 0, i);
    file.pattern.setStepSlide(intAttribute(element, "slide") != 0, i);
    if (intAttribute(element, "gate") == 0) {
      file.pattern.setStepNote(kRestNote, i);
      continue;
    }
    // Wide arithmetic: absurd attributes must not overflow. A note outside
    // the playable range becomes a rest, as in the ABL3 reader.
    const long long note = static_cast<long long>(intAttribute(element, "note")) +
                           12LL * intAttribute(element, "octaveUp") -
                           12LL * intAttribute(element, "octaveDown") + kDefaultNote;
    if (note < 0 || note > kHighestNote) file.disabledSteps.push_back(i);
    file.pattern.setStepNote(note < 0 || note > kHighestNote ? kRestNote : static_cast<int>(note), i);
  }
  out = std::move(file);
  return FileError::None;
}
