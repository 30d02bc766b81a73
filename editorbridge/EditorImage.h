// The editor program's executable image, carried inside the plug-in. The
// build compiles the program first and assembles its bytes into an object
// of the module (cmake/VornixEmbed.cmake); tests carry a stand-in instead.
#pragma once

#include <cstdint>

extern "C" {
extern const unsigned char vornixEditorImage[];
extern const uint32_t vornixEditorImageSize;
}
