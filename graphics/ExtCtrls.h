// The wizard's frame: panels with one-pixel bevels and a face, etched bevel lines and boxes, and the image
// that shows its picture resampled to its own size on every paint.
// May call Classes, TypInfo, Controls, Graphics, Themes, the resampler and the platform.
#pragma once
#include <windows.h>

#include <cstdint>

#include "framework/Controls.h"
#include "graphics/Graphics.h"

enum TPanelBevel : uint8_t { bvNone = 0, bvLowered = 1, bvRaised = 2 };
enum TBevelShape : uint8_t { bsBox = 0, bsLeftLine = 1 };

// The colours of a bevel's top-left and bottom-right edges.
void BevelColors(TPanelBevel bevel, TColor& topLeft, TColor& bottomRight);
// Draws width nested one-pixel frames and shrinks rect by width on every side.
void DrawFrame3D(TCanvas* canvas, RECT& rect, TColor topLeft, TColor bottomRight, int32_t width);
// Fills target (24 bits per pixel, its size already set) with source scaled to target's size; source is
// converted to 24 bits per pixel and stays so.
void ResampleBitmap(TBitmap* source, TBitmap* target, bool sharpen);

class TPanel : public TCustomControl {
  DESCRIBE_CLASS(TPanel, TCustomControl);
  void FillCreateParams(TCreateParams& params) override;
  void PaintContent() override;
  void SetBevelInner(TPanelBevel value);
  void SetBevelOuter(TPanelBevel value);

  TPanelBevel BevelInner = bvNone;
  TPanelBevel BevelOuter = bvNone;

 protected:
  explicit TPanel(TComponent* owner);
};

class TBevel : public TGraphicControl {
  DESCRIBE_CLASS(TBevel, TGraphicControl);
  void PaintContent() override;
  void SetShape(TBevelShape value);

  TBevelShape Shape = bsBox;

 protected:
  explicit TBevel(TComponent* owner) : TGraphicControl(owner) {}
};

class TImage : public TGraphicControl {
  DESCRIBE_CLASS(TImage, TGraphicControl);
  void PaintContent() override;
  TBitmap* Picture() const { return picture_; }
  // Not owned: the form keeps the picture alive for as long as the image.
  void SetPicture(TBitmap* picture);

 protected:
  explicit TImage(TComponent* owner) : TGraphicControl(owner) {}

 private:
  TBitmap* picture_ = nullptr;
};
