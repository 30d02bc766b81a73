// The exported entry points of the plug-in module. Only these symbols are
// visible; everything else is built with hidden visibility.
#include "plugin/Tolvane.h"

#define VORNIX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

AEffect* createPlugin(audioMasterCallback host) {
  // A host that answers 0 to the version query is too old for us (or no
  // host at all): no instance.
  if (!host || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
  AudioEffect* effect = createEffectInstance(host);
  return effect ? effect->getAeffect() : nullptr;
}

}  // namespace

VORNIX_EXPORT VST_ENTRY_ALIGN AEffect* VST_CALL VSTPluginMain(audioMasterCallback host) {
  return createPlugin(host);
}

// Older hosts look for "main"; some scanners accept the literal name too.
VORNIX_EXPORT VST_ENTRY_ALIGN AEffect* VST_CALL main_plugin(audioMasterCallback host) __asm__("main");
VORNIX_EXPORT VST_ENTRY_ALIGN AEffect* VST_CALL main_plugin(audioMasterCallback host) { return createPlugin(host); }

VORNIX_EXPORT VST_ENTRY_ALIGN AEffect* VST_CALL vornix_main_plugin(audioMasterCallback host) __asm__("main_plugin");
VORNIX_EXPORT VST_ENTRY_ALIGN AEffect* VST_CALL vornix_main_plugin(audioMasterCallback host) {
  return createPlugin(host);
}
