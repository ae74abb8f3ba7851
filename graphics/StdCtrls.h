// Standard controls over the platform's own window classes: the single-line edit and the memo ("EDIT"), the
// drop-down list ("COMBOBOX"), push buttons and check boxes ("BUTTON") and labels ("STATIC"). Each creates
// a child window of the system class, turns the notifications its parent reflects back into the framework's
// click and change operations, and, with visual styles, draws on its parent's themed background.
// May call Classes, TypInfo, Controls, Forms, Graphics, Themes and the platform.
#pragma once
#include <windows.h>

#include <cstdint>

#include "framework/Classes.h"
#include "framework/Controls.h"
#include "graphics/Graphics.h"

// The string lists' GetObject, not the GDI call.
#undef GetObject

class TMemo;
class TComboBox;

// ---- edit and memo ----

class TEdit : public TWinControl {
  DESCRIBE_CLASS(TEdit, TWinControl);
  void FillCreateParams(TCreateParams& params) override;
  void BuildWindow() override;

  void ApplyReadOnly(bool flag);
  void ApplyAutoSize(bool flag);
  // Height = the font's text height plus eight border widths.
  void FitHeightToFont();
  // A change of the text: the parent hears of it.
  virtual void ChangeHook() { NotifyChanged(); }

  bool IsReadOnly = false;
  bool AutoSize = false;
  bool InWindowCreation = false;

 protected:
  explicit TEdit(TComponent* owner);
  void Dispatch(TMessage& message) override;
};

// The memo's lines as the window holds them: only the whole text can be read or replaced.
class TMemoStrings : public TStrings {
  DESCRIBE_CLASS(TMemoStrings, TStrings);
  explicit TMemoStrings(TMemo* memo) : memo_(memo) {}
  AnsiString GetLine(int32_t) const override { return AnsiString(); }
  // Lines of the window; a trailing line break does not start a line.
  int32_t LineCount() const override;
  AnsiString GetAllText() const override;
  // One WM_SETTEXT, whatever the number of lines.
  void SetAllText(const AnsiString& text) override;
  void UpdatingChanged(bool updating) override;
  void Clear() override {}
  void DeleteLine(int32_t) override {}
  void InsertLine(int32_t, const AnsiString&) override {}

 private:
  TMemo* memo_;
};

class TMemo : public TEdit {
  DESCRIBE_CLASS(TMemo, TEdit);
  void FillCreateParams(TCreateParams& params) override;
  HWND MakeWindow(TCreateParams& params) override;

  TMemoStrings* TextLines = nullptr;  // owned

 protected:
  explicit TMemo(TComponent* owner);
  ~TMemo() override;
  void Dispatch(TMessage& message) override;
};

// ---- combo box ----

// The items of a drop-down list, kept by its window.
class TComboBoxStrings : public TStrings {
  DESCRIBE_CLASS(TComboBoxStrings, TStrings);
  explicit TComboBoxStrings(TComboBox* box) : box_(box) {}
  AnsiString GetLine(int32_t) const override { return AnsiString(); }
  int32_t LineCount() const override;
  int32_t AddLine(const AnsiString& text) override;
  void* GetObject(int32_t index) const override;
  void SetObject(int32_t index, void* object) override;
  void Clear() override {}
  void DeleteLine(int32_t) override {}
  void InsertLine(int32_t, const AnsiString&) override {}

 private:
  TComboBox* box_;
};

class TComboBox : public TWinControl {
  DESCRIBE_CLASS(TComboBox, TWinControl);
  void FillCreateParams(TCreateParams& params) override;
  void BuildWindow() override;
  void TearDownWindow() override;
  void HandleMessage(TMessage& message) override;

  int32_t SelectedIndex();
  void SetSelectedIndex(int32_t index);
  bool ListOpen();
  void SetListOpen(bool open);
  int32_t RowHeight();
  // Makes the drop-down list tall enough for every item.
  void FitDropDownList();
  virtual void ChangeHook();

  TComboBoxStrings* ItemList = nullptr;  // owned
  TStringList* ItemsBackup = nullptr;    // the items while the window is re-created
  bool FocusMovedDuringDrop = false;
  bool OwnsFocus = false;
  TNotifyEvent OnChange;

 protected:
  explicit TComboBox(TComponent* owner);
  ~TComboBox() override;
  void Dispatch(TMessage& message) override;

 private:
  void Command(TMessage& message);
};

// ---- buttons and check boxes ----

class TButtonControl : public TWinControl {
  DESCRIBE_CLASS(TButtonControl, TWinControl);
  void HandleMessage(TMessage& message) override;

  bool FocusingClick = false;  // a click is moving the focus here: its notification is not a click

 protected:
  using TWinControl::TWinControl;
  void Dispatch(TMessage& message) override;
};

class TButton : public TButtonControl {
  DESCRIBE_CLASS(TButton, TButtonControl);
  void FillCreateParams(TCreateParams& params) override;
  void BuildWindow() override;
  void FireClick() override;
  // The default-button look.
  void ShowAsDefault(bool flag);

  bool Default = false;  // read when the window is made
  bool Cancel = false;
  bool LooksDefault = false;
  int32_t DialogResult = 0;

 protected:
  explicit TButton(TComponent* owner);
  void Dispatch(TMessage& message) override;
};

class TCheckBox : public TButtonControl {
  DESCRIBE_CLASS(TCheckBox, TButtonControl);
  void FillCreateParams(TCreateParams& params) override;
  void BuildWindow() override;
  void FireClick() override;

  bool Checked() const { return State == 1; }
  // Fires OnClick when the state changes, exactly like a click by the user.
  void SetCheckedState(bool flag) { ApplyState(flag ? 1 : 0); }
  void ApplyState(uint8_t state);
  void FlipState() { ApplyState(State ^ 1); }

  uint8_t State = 0;

 protected:
  explicit TCheckBox(TComponent* owner);
  void Dispatch(TMessage& message) override;
};

// ---- label ----

class TLabel : public TWinControl {
  DESCRIBE_CLASS(TLabel, TWinControl);
  void FillCreateParams(TCreateParams& params) override;
  void AfterLoad() override;

  void ApplyAutoSize(bool flag);
  // The caption's extent plus four border widths each way; nothing while loading or without AutoSize.
  void FitToText();

  bool AutoSize = false;

 protected:
  explicit TLabel(TComponent* owner);
  void Dispatch(TMessage& message) override;

 private:
  void DrawOwnText(HDC dc);
};
