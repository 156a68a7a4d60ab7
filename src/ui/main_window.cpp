#include "ui/main_window.h"

#include "platform/window.h"
#include "ui/controls.h"
#include "ui/texts.h"

namespace ui {
namespace {

using platform::ControlKind;

struct ControlSpec {
  int number;
  ControlKind kind;
  int x, y, width, height;  // client pixels
  const char* text;         // Windows-1251
  unsigned flags;
};

// In creation (number) order.
constexpr ControlSpec kControls[] = {
    {LabelPause, ControlKind::Label, 20, 10, 50, 30, kTextLabelPause, 0},
    {FieldPause, ControlKind::DigitField, 20, 50, 50, 20, InitialPauseText, 0},
    {FieldPulse, ControlKind::DigitField, 80, 50, 50, 20, InitialPulseText, 0},
    {ButtonStart, ControlKind::PushButton, 20, 100, 50, 20, kTextButtonStart, 0},
    {ButtonStop, ControlKind::PushButton, 80, 100, 50, 20, kTextButtonStop,
     platform::kControlDisabled},
    {LabelPulse, ControlKind::Label, 80, 10, 50, 30, kTextLabelPulse, 0},
    {LabelSize, ControlKind::Label, 200, 10, 50, 30, kTextLabelSize, 0},
    {FieldSize, ControlKind::DigitField, 200, 50, 50, 20, InitialSizeText, 0},
    {LabelRate, ControlKind::Label, 140, 10, 50, 30, kTextLabelRate, 0},
    {FieldRate, ControlKind::DigitField, 140, 50, 50, 20, InitialRateText, 0},
    {CheckLoop, ControlKind::CheckBox, 200, 70, 100, 20, kTextCheckLoop, 0},
    {LabelFrequency, ControlKind::Label, 20, 70, 110, 20, "", platform::kControlCentred},
};
static_assert(sizeof kControls / sizeof kControls[0] == ControlCount);

constexpr int kRunFields[] = {FieldPause, FieldPulse, FieldSize, FieldRate};

}  // namespace

int CreateMainWindow() {
  if (!platform::WindowOpen(MainWindow, ClientWidth, ClientHeight, kTextCaption)) return 0;
  for (const ControlSpec& c : kControls) {
    platform::ControlCreate(c.number, c.kind, c.x, c.y, c.width, c.height, c.text, c.flags);
  }
  return 1;
}

void SetPlayingControls() {
  for (int field : kRunFields) platform::ControlEnable(field, 0);
  platform::ControlEnable(ButtonStart, 0);
  platform::ControlEnable(ButtonStop, 1);
}

void SetIdleControls() {
  for (int field : kRunFields) platform::ControlEnable(field, 1);
  platform::ControlEnable(ButtonStop, 0);
  platform::ControlEnable(ButtonStart, 1);
}

}  // namespace ui
