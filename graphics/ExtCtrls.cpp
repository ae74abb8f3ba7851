#include "graphics/ExtCtrls.h"

#include <vector>

#include "framework/TypInfo.h"
#include "graphics/Resample.h"
#include "graphics/Themes.h"

namespace {
const char* const kBevelNames[] = {"bvNone", "bvLowered", "bvRaised"};
const TEnumType kPanelBevelType = EnumType("TPanelBevel", kBevelNames);
const char* const kShapeNames[] = {"bsBox", "bsLeftLine"};
const TEnumType kBevelShapeType = EnumType("TBevelShape", kShapeNames);
}  // namespace

void BevelColors(TPanelBevel bevel, TColor& topLeft, TColor& bottomRight) {
  topLeft = bevel == bvLowered ? clBtnShadow : clBtnHighlight;
  bottomRight = bevel == bvLowered ? clBtnHighlight : clBtnShadow;
}

void DrawFrame3D(TCanvas* canvas, RECT& rect, TColor topLeft, TColor bottomRight, int32_t width) {
  canvas->Pen->SetPenWidth(1);
  --rect.right;
  --rect.bottom;
  for (int32_t i = 0; i < width; ++i) {
    canvas->Pen->SetToolColor(topLeft);
    const POINT upper[] = {{rect.left, rect.bottom}, {rect.left, rect.top}, {rect.right, rect.top}};
    canvas->StrokePolyline(upper, 2);
    canvas->Pen->SetToolColor(bottomRight);
    const POINT lower[] = {{rect.right, rect.top}, {rect.right, rect.bottom}, {rect.left - 1, rect.bottom}};
    canvas->StrokePolyline(lower, 2);
    InflateRect(&rect, -1, -1);
  }
  ++rect.right;
  ++rect.bottom;
}

void ResampleBitmap(TBitmap* source, TBitmap* target, bool sharpen) {
  source->SetPixelFormat(pf24bit);
  const int32_t sw = source->PixelWidth(), sh = source->PixelHeight();
  const int32_t dw = target->PixelWidth(), dh = target->PixelHeight();
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  std::vector<const uint8_t*> sourceRows(sh);
  for (int32_t y = 0; y < sh; ++y) sourceRows[y] = source->RowAddress(y);
  std::vector<uint8_t*> targetRows(dh);
  for (int32_t y = 0; y < dh; ++y) targetRows[y] = target->RowAddress(y);
  ResampleRows(sourceRows.data(), sw, sh, targetRows.data(), dw, dh, sharpen);
}

// ---- TPanel ----

TClass TPanel::StaticClass() {
  static const TPropInfo props[] = {
      EnumProp<&TPanel::BevelInner, &TPanel::SetBevelInner>("BevelInner", kPanelBevelType),
      EnumProp<&TPanel::BevelOuter, &TPanel::SetBevelOuter>("BevelOuter", kPanelBevelType),
      IntegerProp<&TControl::Color, &TControl::SetColorValue>("Color")};
  static const TClassInfo info = DescribeClass<TPanel>("TPanel", props);
  return &info;
}

TPanel::TPanel(TComponent* owner) : TCustomControl(owner) {
  ControlStyle = 0x3F;
  if (ThemesActive()) ControlStyle = (ControlStyle | ctlParentBackground) & static_cast<uint16_t>(~ctlOpaque);
  SetColorValue(clBtnFace);
}

void TPanel::FillCreateParams(TCreateParams& params) {
  TCustomControl::FillCreateParams(params);
  params.WindowClass.style &= ~static_cast<UINT>(CS_HREDRAW | CS_VREDRAW);
}

void TPanel::SetBevelInner(TPanelBevel value) {
  BevelInner = value;
  RequestRepaint();
}

void TPanel::SetBevelOuter(TPanelBevel value) {
  BevelOuter = value;
  RequestRepaint();
}

void TPanel::PaintContent() {
  TControlCanvas* canvas = Canvas();
  RECT rect = ClientArea();
  TColor topLeft, bottomRight;
  if (BevelOuter != bvNone) {
    BevelColors(BevelOuter, topLeft, bottomRight);
    DrawFrame3D(canvas, rect, topLeft, bottomRight, 1);
  }
  if (BevelInner != bvNone) {
    BevelColors(BevelInner, topLeft, bottomRight);
    DrawFrame3D(canvas, rect, topLeft, bottomRight, 1);
  }
  if (!ThemesActive()) {
    canvas->Brush->SetToolColor(color_);
    canvas->FillRectangle(rect);
  }
}

// ---- TBevel ----

TClass TBevel::StaticClass() {
  static const TPropInfo props[] = {EnumProp<&TBevel::Shape, &TBevel::SetShape>("Shape", kBevelShapeType)};
  static const TClassInfo info = DescribeClass<TBevel>("TBevel", props);
  return &info;
}

void TBevel::SetShape(TBevelShape value) {
  if (value == Shape) return;
  Shape = value;
  RequestRepaint();
}

void TBevel::PaintContent() {
  TControlCanvas* canvas = Canvas();
  canvas->Pen->SetPenWidth(1);
  if (Shape == bsLeftLine) {
    canvas->Pen->SetToolColor(clBtnShadow);
    canvas->MovePenTo(0, 0);
    canvas->DrawLineTo(0, height_);
    canvas->Pen->SetToolColor(clBtnHighlight);
    canvas->MovePenTo(1, 0);
    canvas->DrawLineTo(1, height_);
    return;
  }
  canvas->Pen->SetToolColor(clBtnShadow);
  const POINT upper[] = {{0, height_ - 1}, {0, 0}, {width_ - 1, 0}};
  canvas->StrokePolyline(upper, 2);
  canvas->Pen->SetToolColor(clBtnHighlight);
  const POINT lower[] = {{width_ - 1, 0}, {width_ - 1, height_ - 1}, {0, height_ - 1}};
  canvas->StrokePolyline(lower, 2);
}

// ---- TImage ----

TClass TImage::StaticClass() {
  static const TClassInfo info = DescribeClass<TImage>("TImage");
  return &info;
}

void TImage::SetPicture(TBitmap* picture) {
  picture_ = picture;
  RequestRepaint();
}

void TImage::PaintContent() {
  if (!picture_ || width_ <= 0 || height_ <= 0) return;  // nothing to show yet
  TBitmap scaled;
  scaled.SetPixelFormat(pf24bit);
  scaled.SetPixelWidth(width_);
  scaled.SetPixelHeight(height_);
  ResampleBitmap(picture_, &scaled, true);
  Canvas()->DrawGraphic(0, 0, &scaled);
}
