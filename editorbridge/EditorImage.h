// The editor program's executable image, carried inside the plug-in. The
// build compiles the program first and assembles its bytes into an object
// of the module (cmake/VornixEmbed.cmake); the bridge tests' module carries
// a stand-in instead. The symbols are weak: a program linking the
// instrument without any image (a unit test) gets null and no editor.
#pragma once

#include <cstdint>

extern "C" {
extern const unsigned char vornixEditorImage[] __attribute__((weak));
extern const uint32_t vornixEditorImageSize __attribute__((weak));
}

// The carried image's bytes and size; null and 0 when there is none.
inline const unsigned char* editorImage() { return &vornixEditorImageSize ? vornixEditorImage : nullptr; }
inline uint32_t editorImageSize() { return &vornixEditorImageSize ? vornixEditorImageSize : 0; }
