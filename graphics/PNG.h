// The PNG decoder's picture: a bitmap that loads itself from an 8-bit palette PNG such as the wizard's logo.
// May call Graphics, PNGCore and the platform (gdi32).
#pragma once
#include "graphics/Graphics.h"

class TPNGImage : public TBitmap {
 public:
  // Reads a PNG from the stream's position to its end and becomes that picture: 8 bits per pixel with the
  // PNG's palette. Without image data the picture stays as it was; damaged data raises EAbort and leaves it
  // as it was too.
  void LoadFromStream(TStream* stream) override;
};
